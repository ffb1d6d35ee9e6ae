#ifndef TALVORI_TESTRESOURCEPEER_H
#define TALVORI_TESTRESOURCEPEER_H

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>

#include <memory>

class TestClient;

// The bus side of a TestResource, living on the resource's own thread: the object at "/" with
// the resource interface, and the resource's protocol connection to the server, through which a
// delivery is stored. What it answers is set from the test's thread; everything it records is
// read from there, under m_mutex.
class TestResourcePeer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Talvori.Resource")
public:
    // How "requestItemDelivery" is answered.
    enum Mode {
        Deliver,     // store the parts, then answer true
        Refuse,      // answer false, store nothing
        DeliverLate, // store and answer after the delay
        NeverAnswer  // take the call and keep it
    };

    struct Delivery {
        qint64 uid = -1;
        QString remoteId;
        QString mimeType;
        QStringList parts;
    };

    TestResourcePeer(const QString &id, const QString &serverSocket, const QString &busAddress);
    ~TestResourcePeer() override;

    void setMode(Mode mode, int delayMs);
    void setPayload(const QString &remoteId, const QByteArray &data);
    // The data stored for a part; "PLD:RFC822" gets the payload set for the item.
    QByteArray payloadFor(const QString &remoteId, const QString &part) const;

    QList<Delivery> deliveries() const;
    QList<qint64> collectionSyncs() const;
    int treeSyncs() const;
    void clearCalls();

public Q_SLOTS:
    // On the peer's thread: logs in to the server and puts the object on the bus; false with
    // errorString().
    bool open();
    void close();
    QString errorString() const;

    // The resource interface.
    bool requestItemDelivery(qlonglong uid, const QString &remoteId, const QString &mimeType, const QStringList &parts);
    Q_NOREPLY void synchronizeCollection(qlonglong collectionId);
    Q_NOREPLY void synchronizeCollectionTree();

private:
    bool store(qint64 uid, const QString &remoteId, const QStringList &parts);
    void answerLater(const QDBusMessage &call, qint64 uid, const QString &remoteId, const QStringList &parts, int delayMs);

    const QString m_id;
    const QString m_serverSocket;
    const QString m_busAddress;
    // The peer's thread only.
    std::unique_ptr<TestClient> m_client;
    QDBusConnection m_bus;
    QString m_error;
    // Calls taken in NeverAnswer mode, kept so the bus does not answer them either.
    QList<QDBusMessage> m_heldCalls;

    mutable QMutex m_mutex; // guards what follows
    Mode m_mode = Deliver;
    int m_delayMs = 0;
    QHash<QString, QByteArray> m_payloads;
    QList<Delivery> m_deliveries;
    QList<qint64> m_collectionSyncs;
    int m_treeSyncs = 0;
};

#endif

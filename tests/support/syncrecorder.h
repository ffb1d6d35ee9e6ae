#ifndef TALVORI_SYNCRECORDER_H
#define TALVORI_SYNCRECORDER_H

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

// A resource on the bus, "org.freedesktop.Talvori.Resource.<name>" on a connection of its own,
// that records the synchronisation requests it gets and when.
class SyncRecorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Talvori.Resource")
public:
    struct Request {
        qint64 collection; // -1 for the collection tree
        qint64 atMs;       // since the recorder was made
    };

    SyncRecorder(const QString &busAddress, const QString &resource);
    ~SyncRecorder() override;

    QList<Request> requests;
    QList<qint64> timesOf(qint64 collection) const;

public Q_SLOTS:
    Q_SCRIPTABLE Q_NOREPLY void synchronizeCollection(qlonglong collectionId);
    Q_SCRIPTABLE Q_NOREPLY void synchronizeCollectionTree();

private:
    QString m_connectionName;
    QDBusConnection m_bus;
    QElapsedTimer m_clock;
};

#endif

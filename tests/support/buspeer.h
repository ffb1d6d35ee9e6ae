#ifndef TALVORI_BUSPEER_H
#define TALVORI_BUSPEER_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QStringList>
#include <QThread>

// A peer of the server on the test's session bus: a service name and an object tree, answered in
// a thread of the peer's own, so that the peer goes on answering while the test waits for the
// server (and the server perhaps for the peer). Each peer has its own bus connection, so it can
// come and go on the bus by itself. Subclasses answer the calls in handleCall() and record what
// they were asked, as "member(arguments)" lines, for the test to read with calls().
class BusPeer : public QDBusVirtualObject
{
    Q_OBJECT
public:
    BusPeer(const QString &service, const QString &path);
    ~BusPeer() override;

    // Puts the peer on the bus (object, then name); false when the name is taken.
    bool registerOnBus();
    // Takes it off again, name first; the thread keeps running for a later registerOnBus().
    void unregisterFromBus();

    QStringList calls() const;
    void clearCalls();
    QString serviceName() const { return m_service; }

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

protected:
    // Answers a method call (or not: a peer may keep a caller waiting); true when it was the
    // peer's to answer.
    virtual bool handleCall(const QDBusMessage &message) = 0;
    void record(const QString &call);
    // Sends a signal from path (an object of the peer) with the arguments.
    void emitSignal(const QString &path, const QString &interface, const QString &name,
                    const QList<QVariant> &arguments);
    void reply(const QDBusMessage &call, const QList<QVariant> &arguments = {});
    QDBusConnection connection() const { return m_connection; }

    // Guards what the subclass keeps and the recorded calls: the test thread and the peer's
    // thread both reach them.
    mutable QMutex m_mutex;

private:
    const QString m_service;
    const QString m_path;
    QDBusConnection m_connection;
    QThread m_thread;
    QStringList m_calls;
};

#endif

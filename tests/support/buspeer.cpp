#include "buspeer.h"

#include <QAtomicInt>

namespace {

QAtomicInt s_peers;

} // namespace

BusPeer::BusPeer(const QString &service, const QString &path)
    : m_service(service)
    , m_path(path)
    , m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                 QStringLiteral("busPeer%1").arg(s_peers.fetchAndAddRelaxed(1))))
{
    m_thread.start();
    moveToThread(&m_thread);
}

BusPeer::~BusPeer()
{
    unregisterFromBus();
    m_thread.quit();
    m_thread.wait();
    QDBusConnection::disconnectFromBus(m_connection.name());
}

bool BusPeer::registerOnBus()
{
    // In the peer's thread, where the bus layer makes what it keeps for the object.
    bool registered = false;
    QMetaObject::invokeMethod(
        this,
        [this, &registered] {
            registered = m_connection.registerVirtualObject(m_path, this, QDBusConnection::SubPath)
                && m_connection.registerService(m_service);
        },
        Qt::BlockingQueuedConnection);
    return registered;
}

void BusPeer::unregisterFromBus()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_connection.unregisterService(m_service);
            m_connection.unregisterObject(m_path, QDBusConnection::UnregisterTree);
        },
        Qt::BlockingQueuedConnection);
}

QStringList BusPeer::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

void BusPeer::clearCalls()
{
    QMutexLocker lock(&m_mutex);
    m_calls.clear();
}

void BusPeer::record(const QString &call)
{
    // The mutex is held by the caller.
    m_calls.append(call);
}

QString BusPeer::introspect(const QString &path) const
{
    Q_UNUSED(path);
    return QString();
}

bool BusPeer::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    Q_UNUSED(connection);
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    return handleCall(message);
}

void BusPeer::emitSignal(const QString &path, const QString &interface, const QString &name,
                         const QList<QVariant> &arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(arguments);
    m_connection.send(signal);
}

void BusPeer::reply(const QDBusMessage &call, const QList<QVariant> &arguments)
{
    if (call.isReplyRequired())
        m_connection.send(call.createReply(arguments));
}

#include "testresourcepeer.h"

#include "testclient.h"

#include <QMutexLocker>
#include <QTimer>

TestResourcePeer::TestResourcePeer(const QString &id, const QString &serverSocket, const QString &busAddress)
    : m_id(id)
    , m_serverSocket(serverSocket)
    , m_busAddress(busAddress)
    , m_bus(QString())
{
}

TestResourcePeer::~TestResourcePeer() = default;

bool TestResourcePeer::open()
{
    m_error.clear();
    m_client = std::make_unique<TestClient>();
    if (!m_client->open(m_serverSocket) || !m_client->login(m_id.toUtf8())) {
        m_error = QLatin1String("cannot log in to the server: ") + QString::fromUtf8(m_client->lastFailure());
        return false;
    }
    // A connection of its own, so that the peer's calls arrive on this thread.
    m_bus = QDBusConnection::connectToBus(m_busAddress, QLatin1String("testresource-") + m_id);
    if (!m_bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAllSlots)) {
        m_error = QLatin1String("cannot register the object: ") + m_bus.lastError().message();
        return false;
    }
    if (!m_bus.registerService(QLatin1String("org.freedesktop.Talvori.Resource.") + m_id)) {
        m_error = QLatin1String("cannot take the bus name: ") + m_bus.lastError().message();
        return false;
    }
    return true;
}

void TestResourcePeer::close()
{
    m_heldCalls.clear();
    if (m_bus.isConnected()) {
        m_bus.unregisterService(QLatin1String("org.freedesktop.Talvori.Resource.") + m_id);
        m_bus.unregisterObject(QStringLiteral("/"));
        QDBusConnection::disconnectFromBus(m_bus.name());
    }
    m_bus = QDBusConnection(QString());
    if (m_client)
        m_client->disconnectFromServer();
    m_client.reset();
}

QString TestResourcePeer::errorString() const
{
    return m_error;
}

void TestResourcePeer::setMode(Mode mode, int delayMs)
{
    QMutexLocker locker(&m_mutex);
    m_mode = mode;
    m_delayMs = delayMs;
}

void TestResourcePeer::setPayload(const QString &remoteId, const QByteArray &data)
{
    QMutexLocker locker(&m_mutex);
    m_payloads.insert(remoteId, data);
}

QByteArray TestResourcePeer::payloadFor(const QString &remoteId, const QString &part) const
{
    QMutexLocker locker(&m_mutex);
    if (part == QLatin1String("RFC822"))
        return m_payloads.value(remoteId, "payload of " + remoteId.toUtf8());
    return part.toUtf8() + " of " + remoteId.toUtf8();
}

QList<TestResourcePeer::Delivery> TestResourcePeer::deliveries() const
{
    QMutexLocker locker(&m_mutex);
    return m_deliveries;
}

QList<qint64> TestResourcePeer::collectionSyncs() const
{
    QMutexLocker locker(&m_mutex);
    return m_collectionSyncs;
}

int TestResourcePeer::treeSyncs() const
{
    QMutexLocker locker(&m_mutex);
    return m_treeSyncs;
}

void TestResourcePeer::clearCalls()
{
    QMutexLocker locker(&m_mutex);
    m_deliveries.clear();
    m_collectionSyncs.clear();
    m_treeSyncs = 0;
}

bool TestResourcePeer::requestItemDelivery(qlonglong uid, const QString &remoteId, const QString &mimeType,
                                           const QStringList &parts)
{
    Mode mode;
    int delayMs;
    {
        QMutexLocker locker(&m_mutex);
        m_deliveries.append({uid, remoteId, mimeType, parts});
        mode = m_mode;
        delayMs = m_delayMs;
    }
    switch (mode) {
    case Deliver:
        return store(uid, remoteId, parts);
    case Refuse:
        return false;
    case DeliverLate:
        setDelayedReply(true);
        answerLater(message(), uid, remoteId, parts, delayMs);
        return false;
    case NeverAnswer:
        setDelayedReply(true);
        m_heldCalls.append(message());
        return false;
    }
    return false;
}

void TestResourcePeer::answerLater(const QDBusMessage &call, qint64 uid, const QString &remoteId,
                                   const QStringList &parts, int delayMs)
{
    QTimer::singleShot(delayMs, this, [this, call, uid, remoteId, parts]() {
        const bool stored = store(uid, remoteId, parts);
        m_bus.send(call.createReply(QVariant(stored)));
    });
}

bool TestResourcePeer::store(qint64 uid, const QString &remoteId, const QStringList &parts)
{
    if (!m_client)
        return false;
    for (const QString &part : parts) {
        const QByteArray tag = m_client->nextTag();
        const QList<QByteArray> answer
            = m_client->runLiteral(tag, "UID STORE " + QByteArray::number(uid) + " (PLD:" + part.toLatin1() + ' ',
                                   payloadFor(remoteId, part), ")");
        if (TestClient::resultOf(answer, tag) != "OK")
            return false;
    }
    return true;
}

void TestResourcePeer::synchronizeCollection(qlonglong collectionId)
{
    QMutexLocker locker(&m_mutex);
    m_collectionSyncs.append(collectionId);
}

void TestResourcePeer::synchronizeCollectionTree()
{
    QMutexLocker locker(&m_mutex);
    ++m_treeSyncs;
}

#include "queryserviceclient.h"

#include "common/log.h"
#include "search/queryinterface.h"
#include "search/queryserviceinterface.h"
#include "search/sorvanitypes.h"

#include <QAtomicInt>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QThreadStorage>
#include <QTimer>

namespace Sorvani::Search {

namespace {

const QString ServiceName = QStringLiteral("org.dax.sorvani.services.sorvaniqueryservice");

// A thread's own connection to the session bus, so that the answers for the clients of a
// connection thread are delivered there while it waits. It is closed when the thread ends;
// otherwise every client thread that ever searched would keep a connection open on the bus.
class ThreadConnection
{
public:
    ThreadConnection()
        : m_name(QStringLiteral("SorvaniQueryServiceConnection%1").arg(s_counter.fetchAndAddRelaxed(1)))
    {
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_name);
    }
    ~ThreadConnection() { QDBusConnection::disconnectFromBus(m_name); }
    ThreadConnection(const ThreadConnection &) = delete;
    ThreadConnection &operator=(const ThreadConnection &) = delete;

    QDBusConnection connection() const { return QDBusConnection(m_name); }

private:
    static QAtomicInt s_counter;
    const QString m_name;
};

QAtomicInt ThreadConnection::s_counter;
QThreadStorage<ThreadConnection *> s_threadConnections;

QDBusConnection threadConnection()
{
    if (!s_threadConnections.hasLocalData())
        s_threadConnections.setLocalData(new ThreadConnection);
    return s_threadConnections.localData()->connection();
}

} // namespace

QueryServiceClient::QueryServiceClient(QObject *parent)
    : QObject(parent)
    , m_connection(threadConnection())
{
    SorvaniTypes::registerTypes();
    m_service = new OrgDaxSorvaniQueryServiceInterface(ServiceName, QStringLiteral("/sorvaniqueryservice"),
                                                       m_connection, this);
}

QueryServiceClient::~QueryServiceClient()
{
    close();
}

bool QueryServiceClient::serviceAvailable()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(ServiceName);
}

bool QueryServiceClient::query(const QString &query)
{
    close();
    m_failed = false;
    if (!m_service->isValid()) {
        logDebug() << "Could not contact query service.";
        return false;
    }
    m_opening = new QDBusPendingCallWatcher(m_service->sparqlQuery(query, RequestPropertyMapDBus()), this);
    connect(m_opening, &QDBusPendingCallWatcher::finished, this, &QueryServiceClient::queryOpened);
    return true;
}

void QueryServiceClient::queryOpened(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    if (call != m_opening)
        return;
    m_opening = nullptr;
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) {
        logDebug() << "Query failed:" << reply.error().message();
        m_failed = true;
        Q_EMIT queryFailed(reply.error().message());
        endWait();
        return;
    }
    m_query = new OrgDaxSorvaniQueryInterface(ServiceName, reply.value().path(), m_connection, this);
    connect(m_query, &OrgDaxSorvaniQueryInterface::newEntries, this, &QueryServiceClient::newEntries);
    connect(m_query, &OrgDaxSorvaniQueryInterface::entriesRemoved, this, &QueryServiceClient::_k_entriesRemoved);
    connect(m_query, &OrgDaxSorvaniQueryInterface::finishedListing, this, &QueryServiceClient::_k_finishedListing);
    // The signals are connected before the listing starts, so none of its results is missed.
    m_query->list();
}

bool QueryServiceClient::blockingQuery(const QString &text, int timeoutMs)
{
    if (!query(text))
        return false;
    QEventLoop loop;
    m_waitLoop = &loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    m_waitLoop = nullptr;
    if (m_opening || m_query) {
        logDebug() << "The query service did not finish listing within" << timeoutMs << "ms";
        close();
    }
    return !m_failed;
}

void QueryServiceClient::close()
{
    // An answer still on its way is dropped with its watcher; the service may then keep that one
    // query until it notices the client is gone.
    delete m_opening;
    m_opening = nullptr;
    if (m_query) {
        logDebug() << Q_FUNC_INFO;
        m_query->close();
        // Possibly called from within one of the query's own signals.
        m_query->deleteLater();
        m_query = nullptr;
    }
    endWait();
}

void QueryServiceClient::endWait()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}

void QueryServiceClient::_k_entriesRemoved(const QStringList &entries)
{
    QList<QUrl> uris;
    uris.reserve(entries.size());
    for (const QString &entry : entries)
        uris.append(QUrl(entry));
    Q_EMIT entriesRemoved(uris);
}

void QueryServiceClient::_k_finishedListing()
{
    Q_EMIT finishedListing();
    if (m_waitLoop)
        close();
}

} // namespace Sorvani::Search

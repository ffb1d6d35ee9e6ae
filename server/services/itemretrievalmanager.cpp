#include "itemretrievalmanager.h"

#include "itemretrievaljob.h"
#include "itemretrievalrequest.h"
#include "retrievallog.h"
#include "common/exception.h"
#include "common/log.h"
#include "services/resourceinterface.h"
#include "storage/entities.h"

#include <xdgbasedirs.h>

#include <QDBusServiceWatcher>
#include <QReadLocker>
#include <QSettings>
#include <QWriteLocker>

#include <algorithm>

namespace {

const QString busConnectionName = QStringLiteral("TalvoriServerItemRetrievalManager");
const QString resourceServicePrefix = QStringLiteral("org.freedesktop.Talvori.Resource.");
// A resource may take this long to store one item; big payloads fetched from far away take
// minutes, which the bus library's default of about 25 s would cut short.
constexpr int defaultDeliveryTimeoutSeconds = 300;

// Connection threads reach the manager through these while it runs. Each of them holds the lock
// for reading for the whole of a call, so the manager, which clears the pointer under the lock for
// writing, is never deleted under a caller.
QReadWriteLock s_instanceLock;
ItemRetrievalManager *s_instance = nullptr;

int deliveryTimeoutMs()
{
    const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    bool ok = false;
    const int seconds = settings.value(QStringLiteral("Cache/DeliveryTimeout")).toInt(&ok);
    // Kept below what the bus library's int of milliseconds holds.
    return (ok && seconds > 0 ? qMin(seconds, 24 * 3600) : defaultDeliveryTimeoutSeconds) * 1000;
}

bool covers(const QStringList &delivered, const QStringList &wanted)
{
    return std::all_of(wanted.cbegin(), wanted.cend(),
                       [&delivered](const QString &part) { return delivered.contains(part); });
}

} // namespace

ItemRetrievalManager::ItemRetrievalManager()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, busConnectionName))
    , m_deliveryTimeoutMs(deliveryTimeoutMs())
{
    connect(this, &ItemRetrievalManager::requestAdded, this, &ItemRetrievalManager::processRequest,
            Qt::QueuedConnection);
    connect(this, &ItemRetrievalManager::syncCollection, this, &ItemRetrievalManager::triggerCollectionSync,
            Qt::QueuedConnection);
    connect(this, &ItemRetrievalManager::syncCollectionTree, this, &ItemRetrievalManager::triggerCollectionTreeSync,
            Qt::QueuedConnection);
    if (!m_bus.isConnected())
        logError() << "Item retrieval has no bus connection:" << m_bus.lastError().message();
    m_resourceWatcher = new QDBusServiceWatcher(QString(), m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_resourceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &ItemRetrievalManager::serviceOwnerChanged);

    QWriteLocker locker(&s_instanceLock);
    s_instance = this;
}

ItemRetrievalManager::~ItemRetrievalManager()
{
    {
        QWriteLocker locker(&m_lock);
        m_stopped = true;
        for (ItemRetrievalJob *job : std::as_const(m_currentJobs))
            markProcessed(job->request(), shuttingDownMessage());
        for (const QList<ItemRetrievalRequest *> &queue : std::as_const(m_pendingRequests)) {
            for (ItemRetrievalRequest *request : queue)
                markProcessed(request, shuttingDownMessage());
        }
        m_currentJobs.clear();
        m_pendingRequests.clear();
        m_processed.wakeAll();
    }
    // Waits for the callers just woken to leave.
    {
        QWriteLocker locker(&s_instanceLock);
        s_instance = nullptr;
    }
    // The jobs go with the manager's children; none of them reports any more.
    qDeleteAll(m_resourceInterfaces);
    QDBusConnection::disconnectFromBus(busConnectionName);
}

QString ItemRetrievalManager::shuttingDownMessage()
{
    return QStringLiteral("Item retrieval has stopped: the server is shutting down");
}

void ItemRetrievalManager::postRetrievalRequest(ItemRetrievalRequest *request)
{
    QReadLocker locker(&s_instanceLock);
    if (!s_instance) {
        delete request;
        throw ItemRetrieverException(shuttingDownMessage());
    }
    s_instance->post(request);
}

void ItemRetrievalManager::post(ItemRetrievalRequest *request)
{
    bool queued = false;
    {
        QWriteLocker locker(&m_lock);
        if (m_stopped) {
            markProcessed(request, shuttingDownMessage());
        } else {
            QList<ItemRetrievalRequest *> &queue = m_pendingRequests[request->resourceId];
            qCDebug(lcRetrieval) << "posting retrieval request for item" << request->id << "there are"
                                 << m_pendingRequests.size() << "queues and" << queue.size()
                                 << "items in mine";
            queue.append(request);
            queued = true;
        }
    }
    if (queued)
        Q_EMIT requestAdded();

    QString errorMessage;
    {
        QReadLocker locker(&m_lock);
        while (!request->processed) {
            qCDebug(lcRetrieval) << "request for item" << request->id << "still pending - waiting";
            m_processed.wait(&m_lock);
        }
        errorMessage = request->errorMessage;
    }
    qCDebug(lcRetrieval) << "request for item" << request->id << "processed, error:" << errorMessage;
    delete request;
    if (!errorMessage.isEmpty())
        throw ItemRetrieverException(errorMessage);
}

void ItemRetrievalManager::markProcessed(ItemRetrievalRequest *request, const QString &errorMessage)
{
    request->errorMessage = errorMessage;
    request->processed = true;
}

void ItemRetrievalManager::requestCollectionSync(const Talvori::Collection &collection)
{
    QReadLocker locker(&s_instanceLock);
    if (!s_instance)
        return;
    const QString resource = collection.resource().name();
    if (collection.parentId() == 0)
        Q_EMIT s_instance->syncCollectionTree(resource);
    Q_EMIT s_instance->syncCollection(resource, collection.id());
}

void ItemRetrievalManager::processRequest()
{
    QList<ItemRetrievalJob *> newJobs;
    bool idle = false;
    {
        QWriteLocker locker(&m_lock);
        for (auto it = m_pendingRequests.begin(); it != m_pendingRequests.end();) {
            if (it->isEmpty()) {
                it = m_pendingRequests.erase(it);
                continue;
            }
            if (!m_currentJobs.contains(it.key())) {
                // Off the pending list as it starts: its poster deletes it once it is processed.
                auto *job = new ItemRetrievalJob(it->takeFirst(), this);
                connect(job, &ItemRetrievalJob::requestCompleted, this, &ItemRetrievalManager::retrievalJobFinished);
                m_currentJobs.insert(it.key(), job);
                newJobs.append(job);
            }
            ++it;
        }
        idle = m_pendingRequests.isEmpty() && m_currentJobs.isEmpty();
    }
    if (idle) {
        // A caller may still be waiting for a request that was completed meanwhile.
        m_processed.wakeAll();
        return;
    }
    // Outside the lock: a job without a resource reports at once.
    for (ItemRetrievalJob *job : std::as_const(newJobs))
        job->start(resourceInterface(job->request()->resourceId));
}

void ItemRetrievalManager::retrievalJobFinished(ItemRetrievalRequest *request, const QString &errorMessage)
{
    {
        QWriteLocker locker(&m_lock);
        const QString resource = request->resourceId;
        markProcessed(request, errorMessage);
        m_currentJobs.remove(resource);
        // A resource that could not be reached, or did not answer within the time limit, would
        // make everyone queued behind it wait for the same outcome, one time limit after another.
        const bool resourceFailed = ItemRetrievalJob::concernsResource(errorMessage);
        QList<ItemRetrievalRequest *> &queue = m_pendingRequests[resource];
        if (resourceFailed && !queue.isEmpty()) {
            logError().noquote() << QStringLiteral("Failing the %1 requests queued for resource %2 as well: %3")
                                        .arg(queue.size())
                                        .arg(resource, errorMessage);
        }
        for (auto it = queue.begin(); it != queue.end();) {
            ItemRetrievalRequest *other = *it;
            if (resourceFailed) {
                markProcessed(other, errorMessage);
                it = queue.erase(it);
            } else if (other->id == request->id && covers(request->parts, other->parts)) {
                qCDebug(lcRetrieval) << "someone else requested item" << other->id << "as well, marking as processed";
                markProcessed(other, errorMessage);
                it = queue.erase(it);
            } else {
                // Another item, or parts of this one that were not asked for: those stay queued,
                // less what has just been delivered.
                if (other->id == request->id && errorMessage.isEmpty()) {
                    for (const QString &part : std::as_const(request->parts))
                        other->parts.removeAll(part);
                }
                ++it;
            }
        }
        m_processed.wakeAll();
    }
    Q_EMIT requestAdded();
}

OrgFreedesktopTalvoriResourceInterface *ItemRetrievalManager::resourceInterface(const QString &id)
{
    if (id.isEmpty())
        return nullptr;
    auto cached = m_resourceInterfaces.find(id);
    if (cached != m_resourceInterfaces.end()) {
        if ((*cached)->isValid())
            return *cached;
        delete *cached;
        m_resourceInterfaces.erase(cached);
    }
    auto *interface = new OrgFreedesktopTalvoriResourceInterface(resourceServicePrefix + id, QStringLiteral("/"), m_bus);
    if (!interface->isValid()) {
        logError() << QStringLiteral("Cannot connect to agent instance with identifier '%1', error message: '%2'")
                          .arg(id, interface->lastError().message());
        delete interface;
        return nullptr;
    }
    interface->setTimeout(m_deliveryTimeoutMs);
    m_resourceInterfaces.insert(id, interface);
    if (!m_resourceWatcher->watchedServices().contains(interface->service()))
        m_resourceWatcher->addWatchedService(interface->service());
    return interface;
}

void ItemRetrievalManager::serviceOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner)
{
    Q_UNUSED(newOwner);
    if (oldOwner.isEmpty() || !name.startsWith(resourceServicePrefix))
        return;
    const QString id = name.mid(resourceServicePrefix.size());
    logDebug() << "Lost connection to resource" << name << ", discarding cached interface";
    delete m_resourceInterfaces.take(id);
}

void ItemRetrievalManager::triggerCollectionSync(const QString &resource, qint64 collectionId)
{
    if (OrgFreedesktopTalvoriResourceInterface *interface = resourceInterface(resource))
        interface->synchronizeCollection(collectionId);
}

void ItemRetrievalManager::triggerCollectionTreeSync(const QString &resource)
{
    if (OrgFreedesktopTalvoriResourceInterface *interface = resourceInterface(resource))
        interface->synchronizeCollectionTree();
}

#include "preprocessormanager.h"

#include "common/busobject.h"
#include "common/log.h"
#include "common/tracer.h"
#include "preprocessormanageradaptor.h"
#include "services/preprocessorchainlock.h"
#include "services/preprocessorinstance.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/transaction.h"

#include <xdgbasedirs.h>

#include <QDBusConnection>
#include <QSettings>

using namespace Talvori;

namespace {

const QString Component = QStringLiteral("PreprocessorManager");
constexpr int DefaultHeartbeatMs = 30000;
// The escalation bands, in heartbeats of one item: abort, restart, drop.
constexpr int AbortBeats = 4;
constexpr int RestartBeats = 6;
constexpr int DropBeats = 8;

// Set on the main thread before the first connection thread starts, cleared after the last ended.
PreprocessorManager *s_instance = nullptr;

int heartbeatFromSettings()
{
    const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    bool ok = false;
    const int ms = settings.value(QStringLiteral("Debug/PreprocessorHeartbeat")).toInt(&ok);
    return ok && ms > 0 ? ms : DefaultHeartbeatMs;
}

} // namespace

PreprocessorManager *PreprocessorManager::create()
{
    if (s_instance) {
        logError() << "PreprocessorManager: there is one already";
        return nullptr;
    }
    s_instance = new PreprocessorManager;
    return s_instance;
}

PreprocessorManager *PreprocessorManager::instance()
{
    return s_instance;
}

PreprocessorManager::PreprocessorManager()
{
    m_agentWatcher.setConnection(QDBusConnection::sessionBus());
    m_agentWatcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    m_heartbeat.setInterval(heartbeatFromSettings());
    connect(&m_heartbeat, &QTimer::timeout, this, &PreprocessorManager::heartbeat);
    m_heartbeat.start();
    connect(&m_agentWatcher, &QDBusServiceWatcher::serviceUnregistered, this, &PreprocessorManager::agentLeft);

    new PreprocessorManagerAdaptor(this);
    BusObject::registerObject(QStringLiteral("/PreprocessorManager"), this, QDBusConnection::ExportAdaptors);
}

PreprocessorManager::~PreprocessorManager()
{
    QList<PreprocessorInstance *> chain;
    {
        const auto chainLock = lock();
        chain = std::exchange(m_chain, {});
        for (const WaitQueue &queue : std::as_const(m_waitQueues)) {
            for (const QMetaObject::Connection &connection : queue.connections)
                disconnect(connection);
        }
        m_waitQueues.clear();
    }
    qDeleteAll(chain);
    s_instance = nullptr;
}

PreprocessorChainLock PreprocessorManager::lock() const
{
    return PreprocessorChainLock(m_mutex);
}

void PreprocessorManager::setEnabled(bool enabled)
{
    const auto chainLock = lock();
    m_enabled = enabled;
}

bool PreprocessorManager::chainActive() const
{
    const auto chainLock = lock();
    return m_enabled && !m_chain.isEmpty();
}

void PreprocessorManager::beginHandleItem(const PimItem &item, DataStore *dataStore)
{
    const qint64 id = item.id();
    if (dataStore->inTransaction()) {
        // Even a disabled chain or an empty one lets it wait: until the commit no other thread
        // can see the item, so none could unhide it.
        logDebug().nospace().noquote() << "PreprocessorManager::beginHandleItem(" << id
                                       << "): the DataStore is in transaction, pushing item to a wait queue";
        {
            const auto chainLock = lock();
            const auto queue = m_waitQueues.find(dataStore);
            if (queue != m_waitQueues.end()) {
                queue->items.append(id);
                return;
            }
        }
        // The first item of this transaction. Only this thread adds or ends its data store's queue,
        // so it is still missing after the connections are made outside the lock.
        const QList<QMetaObject::Connection> connections = connectDataStore(dataStore);
        const auto chainLock = lock();
        m_waitQueues.insert(dataStore, WaitQueue{{id}, connections});
        return;
    }
    const auto chainLock = lock();
    if (!m_enabled)
        logDebug().nospace().noquote() << "PreprocessorManager::beginHandleItem(" << id << ") called with a disabled preprocessor";
    lockedHandToChain({id}, chainLock);
}

QList<QMetaObject::Connection> PreprocessorManager::connectDataStore(DataStore *dataStore)
{
    // Direct connections: the end of the transaction is handled in the data store's thread as it
    // happens. Queued, the signal would arrive after the connection may have begun its next
    // transaction, and that one's items would be released (or dropped) with it.
    const DataStore *key = dataStore;
    return {connect(dataStore, &DataStore::transactionCommitted, this,
                    [this, key] { dataStoreTransactionCommitted(key); }, Qt::DirectConnection),
            connect(dataStore, &DataStore::transactionRolledBack, this,
                    [this, key] { dataStoreTransactionRolledBack(key); }, Qt::DirectConnection),
            // By the time destroyed() comes the object is no DataStore any more: only its address
            // is used, as the key.
            connect(dataStore, &QObject::destroyed, this, [this, key] { dataStoreDestroyed(key); },
                    Qt::DirectConnection)};
}

void PreprocessorManager::dataStoreTransactionCommitted(const DataStore *dataStore)
{
    logDebug().nospace().noquote() << "PreprocessorManager::dataStoreTransactionCommitted(): pushing items in wait queue to the preprocessing chain";
    const auto chainLock = lock();
    QList<qint64> items;
    if (!lockedKillWaitQueue(dataStore, true, chainLock, &items))
        return;
    lockedHandToChain(items, chainLock);
}

void PreprocessorManager::dataStoreTransactionRolledBack(const DataStore *dataStore)
{
    logDebug().nospace().noquote() << "PreprocessorManager::dataStoreTransactionRolledBack(): killing the wait queue";
    // The waiting items went with the transaction.
    const auto chainLock = lock();
    lockedKillWaitQueue(dataStore, true, chainLock);
}

void PreprocessorManager::dataStoreDestroyed(const DataStore *dataStore)
{
    logDebug().nospace().noquote() << "PreprocessorManager::dataStoreDestroyed(): killing the wait queue";
    const auto chainLock = lock();
    lockedKillWaitQueue(dataStore, false, chainLock);
}

bool PreprocessorManager::lockedKillWaitQueue(const DataStore *dataStore, bool disconnectSignals,
                                              const PreprocessorChainLock &, QList<qint64> *items)
{
    const auto queue = m_waitQueues.constFind(dataStore);
    if (queue == m_waitQueues.constEnd()) {
        logDebug().nospace().noquote() << "PreprocessorManager::lockedKillWaitQueue(): called for dataStore which has no wait queue";
        return false;
    }
    if (disconnectSignals) {
        for (const QMetaObject::Connection &connection : queue->connections)
            disconnect(connection);
    }
    if (items)
        *items = queue->items;
    m_waitQueues.erase(queue);
    return true;
}

void PreprocessorManager::lockedHandToChain(const QList<qint64> &ids, const PreprocessorChainLock &chainLock)
{
    if (m_enabled && !m_chain.isEmpty()) {
        for (const qint64 id : ids)
            m_chain.first()->enqueueItem(id, chainLock);
    } else {
        m_finished.append(ids);
    }
    schedulePump(chainLock);
}

void PreprocessorManager::passItemOn(PreprocessorInstance *instance, qint64 itemId, const PreprocessorChainLock &chainLock)
{
    const qsizetype at = m_chain.indexOf(instance);
    if (at >= 0 && at + 1 < m_chain.size())
        m_chain.at(at + 1)->enqueueItem(itemId, chainLock);
    else
        m_finished.append(itemId);
    schedulePump(chainLock);
}

void PreprocessorManager::lockedRemoveInstance(PreprocessorInstance *instance, const PreprocessorChainLock &chainLock)
{
    const qsizetype at = m_chain.indexOf(instance);
    if (at < 0)
        return;
    const QList<qint64> items = instance->takeAllItems(chainLock);
    if (at + 1 < m_chain.size()) {
        for (const qint64 id : items)
            m_chain.at(at + 1)->enqueueItem(id, chainLock);
    } else {
        m_finished.append(items);
    }
    m_chain.removeAt(at);
    schedulePump(chainLock);
}

PreprocessorInstance *PreprocessorManager::lockedFind(const QString &id, const PreprocessorChainLock &) const
{
    for (PreprocessorInstance *instance : m_chain) {
        if (instance->id() == id)
            return instance;
    }
    return nullptr;
}

void PreprocessorManager::schedulePump(const PreprocessorChainLock &)
{
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QMetaObject::invokeMethod(this, &PreprocessorManager::pump, Qt::QueuedConnection);
}

void PreprocessorManager::registerInstance(const QString &id)
{
    logDebug().nospace().noquote() << "PreprocessorManager::registerInstance(" << id << ")";
    PreprocessorInstance *existing = nullptr;
    {
        const auto chainLock = lock();
        existing = lockedFind(id, chainLock);
    }
    if (existing) {
        // The same agent registering twice changes nothing. A new process under the same name
        // (restarted by the agent manager) keeps the place and the queue, and has to be handed
        // its head item again: the old one took it along.
        if (existing->isSameAgent())
            return;
        if (!existing->connectToAgent()) {
            Tracer::self()->warning(Component, QStringLiteral("Could not initialize preprocessor instance '%1'").arg(id));
            return;
        }
        logDebug().nospace().noquote() << "Reconnected preprocessor instance " << id;
        const auto chainLock = lock();
        existing->resendHeadItem(chainLock);
        schedulePump(chainLock);
        return;
    }

    auto *instance = new PreprocessorInstance(id, this);
    if (!instance->connectToAgent()) {
        Tracer::self()->warning(Component, QStringLiteral("Could not initialize preprocessor instance '%1'").arg(id));
        delete instance;
        return;
    }
    logDebug().nospace().noquote() << "Registering preprocessor instance " << id;
    m_agentWatcher.addWatchedService(instance->serviceName());
    const auto chainLock = lock();
    m_chain.append(instance);
}

void PreprocessorManager::unregisterInstance(const QString &id)
{
    logDebug().nospace().noquote() << "PreprocessorManager::unregisterInstance(" << id << ")";
    PreprocessorInstance *instance = nullptr;
    {
        const auto chainLock = lock();
        instance = lockedFind(id, chainLock);
        if (!instance)
            return;
        lockedRemoveInstance(instance, chainLock);
    }
    removeInstances({instance});
}

void PreprocessorManager::removeInstances(const QList<PreprocessorInstance *> &instances)
{
    for (PreprocessorInstance *instance : instances) {
        m_agentWatcher.removeWatchedService(instance->serviceName());
        delete instance;
    }
}

void PreprocessorManager::agentLeft(const QString &service)
{
    // The instance stays for a heartbeat, so that a restarted agent gets its place and its items
    // back when it registers again; the heartbeat drops it when it does not.
    const auto chainLock = lock();
    for (PreprocessorInstance *instance : std::as_const(m_chain)) {
        if (instance->serviceName() == service)
            instance->setAway();
    }
}

void PreprocessorManager::itemProcessed(PreprocessorInstance *instance, qint64 id)
{
    const auto chainLock = lock();
    logDebug().nospace().noquote() << "PreprocessorInstance::itemProcessed(" << id << ")";
    if (!m_chain.contains(instance))
        return; // dropped meanwhile; its items have gone on already
    if (!instance->hasItems(chainLock)) {
        Tracer::self()->warning(QStringLiteral("PreprocessorInstance"),
                                QStringLiteral("Pre-processor instance '%1' emitted itemProcessed(%2) but we actually have "
                                               "no item in the queue")
                                    .arg(instance->id())
                                    .arg(id));
        return; // an agent without items is idle already
    }
    const qint64 head = instance->takeHeadItem(chainLock);
    if (head != id) {
        Tracer::self()->warning(QStringLiteral("PreprocessorInstance"),
                                QStringLiteral("Pre-processor instance '%1' emitted itemProcessed(%2) but the head item in "
                                               "the queue has id %3")
                                    .arg(instance->id())
                                    .arg(id)
                                    .arg(head));
    }
    passItemOn(instance, head, chainLock);
}

void PreprocessorManager::heartbeat()
{
    const double beat = m_heartbeat.interval() / 1000.0;
    struct Check {
        PreprocessorInstance *instance;
        double processing;
    };
    QList<Check> checks;
    {
        const auto chainLock = lock();
        for (PreprocessorInstance *instance : std::as_const(m_chain))
            checks.append({instance, instance->processingSeconds(chainLock)});
    }

    QList<PreprocessorInstance *> broken;
    for (const Check &check : std::as_const(checks)) {
        const QString id = check.instance->id();
        if (check.instance->awaySeconds() >= beat) {
            Tracer::self()->warning(Component, QStringLiteral("Preprocessor '%1' has left the bus... ignoring it from now on").arg(id));
            broken.append(check.instance);
            continue;
        }
        const double t = check.processing;
        if (t < AbortBeats * beat)
            continue;
        if (t < RestartBeats * beat) {
            Tracer::self()->warning(Component, QStringLiteral("Preprocessor '%1' seems to be stuck... trying to abort its job.").arg(id));
            if (check.instance->abortJob())
                continue;
        }
        if (t < DropBeats * beat) {
            Tracer::self()->warning(Component, QStringLiteral("Preprocessor '%1' is stuck... trying to restart it").arg(id));
            if (check.instance->requestRestart())
                continue;
        }
        Tracer::self()->warning(Component, QStringLiteral("Preprocessor '%1' is broken... ignoring it from now on").arg(id));
        broken.append(check.instance);
    }
    if (broken.isEmpty())
        return;
    {
        const auto chainLock = lock();
        for (PreprocessorInstance *instance : std::as_const(broken))
            lockedRemoveInstance(instance, chainLock);
    }
    removeInstances(broken);
}

void PreprocessorManager::pump()
{
    QList<PreprocessorInstance *> chain;
    {
        const auto chainLock = lock();
        m_pumpScheduled = false;
        chain = m_chain;
    }
    // In chain order, so that an item passed on here is handed to the next agent in the same round.
    // Only the main thread removes instances, and nothing below returns to the event loop.
    for (PreprocessorInstance *instance : std::as_const(chain))
        processHeadItem(instance);
    finishItems();
}

void PreprocessorManager::processHeadItem(PreprocessorInstance *instance)
{
    for (;;) {
        qint64 id = -1;
        {
            const auto chainLock = lock();
            if (!instance->startHeadItem(&id, chainLock))
                return;
        }
        const PimItem item = PimItem::retrieveById(id);
        if (item.isValid()) {
            logDebug().nospace().noquote() << "PreprocessorInstance::processHeadItem(): about to begin processing item " << id;
            instance->beginProcessItem(item);
            logDebug().nospace().noquote() << "PreprocessorInstance::processHeadItem(): processing started for item " << id;
            return;
        }
        // Deleted meanwhile: nothing to show, but it goes the way of every item, to the end.
        const auto chainLock = lock();
        instance->takeHeadItem(chainLock);
        passItemOn(instance, id, chainLock);
    }
}

void PreprocessorManager::finishItems()
{
    QList<qint64> ids;
    {
        const auto chainLock = lock();
        ids = std::exchange(m_finished, {});
    }
    if (ids.isEmpty())
        return;
    // One transaction for all that are done: it takes the SQLite write lock like every writer.
    DataStore *store = DataStore::self();
    Transaction transaction(store);
    QList<qint64> failed;
    for (const qint64 id : std::as_const(ids)) {
        PimItem item = PimItem::retrieveById(id);
        if (!item.isValid())
            logDebug().nospace().noquote() << "Invalid PIM item id '" << id << "' passed to preprocessing chain termination function";
        else if (!store->unhidePimItem(item))
            failed.append(id);
    }
    if (!transaction.commit())
        failed = ids;
    for (const qint64 id : std::as_const(failed)) {
        Tracer::self()->warning(Component, QStringLiteral("Failed to unhide the PIM item '%1': data is not lost but a server "
                                                          "restart is required in order to unhide it")
                                               .arg(id));
    }
}

#ifndef TALVORI_PREPROCESSORMANAGER_H
#define TALVORI_PREPROCESSORMANAGER_H

#include <QDBusServiceWatcher>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QTimer>

class DataStore;
class PreprocessorChainLock;
class PreprocessorInstance;

namespace Talvori {
class PimItem;
}

// The chain of agents that see each new item before clients do. An item appended while the chain
// is active carries the part "ATR:HIDDEN"; it goes to the first preprocessor, to the next when
// that one reports it processed, and after the last its hidden part is removed. Agents register
// and unregister over the bus ("/PreprocessorManager"); a heartbeat escalates an agent that takes
// too long with one item from aborting its job to restarting it to dropping it from the chain.
//
// Threads: everything runs on the main thread except beginHandleItem(), chainActive() and the
// end of a data store's transaction, which run in the connection threads. They meet under one
// mutex, taken only as a PreprocessorChainLock (see there for what may run under it): connection
// threads only add items to the lists and remind the main thread, which hands items to agents
// and unhides them with the lock released.
class PreprocessorManager : public QObject
{
    Q_OBJECT
public:
    // Made once by the server, which deletes it at shut-down; a second one is refused (null).
    static PreprocessorManager *create();
    // The one the server made; null before that and after shut-down.
    static PreprocessorManager *instance();
    ~PreprocessorManager() override;

    void setEnabled(bool enabled);
    // Enabled and at least one preprocessor registered: new items are to be stored hidden.
    bool chainActive() const;
    // Takes an item that was stored hidden, after its append committed. Inside a client's
    // transaction it waits for that transaction: the chain gets it when it commits, and forgets it
    // when it rolls back.
    void beginHandleItem(const Talvori::PimItem &item, DataStore *dataStore);

    // "Debug/PreprocessorHeartbeat" (30 s by default). An agent busy with one item for 4 beats is
    // asked to abort, for 6 it is restarted, for 8 it is dropped; one that left the bus and has
    // not come back within a beat is dropped too.
    int heartbeatInterval() const { return m_heartbeat.interval(); }

public Q_SLOTS:
    void registerInstance(const QString &id);
    void unregisterInstance(const QString &id);
    void heartbeat();

private:
    friend class PreprocessorInstance;

    // Items of one data store's transaction, and the connections that end their wait.
    struct WaitQueue {
        QList<qint64> items;
        QList<QMetaObject::Connection> connections;
    };

    PreprocessorManager();
    PreprocessorChainLock lock() const;

    // From an agent, on the main thread.
    void itemProcessed(PreprocessorInstance *instance, qint64 id);
    void agentLeft(const QString &service);

    // The end of a transaction, in the data store's own thread, as it happens: the items are
    // those of this transaction, none of the next.
    void dataStoreTransactionCommitted(const DataStore *dataStore);
    void dataStoreTransactionRolledBack(const DataStore *dataStore);
    void dataStoreDestroyed(const DataStore *dataStore);
    QList<QMetaObject::Connection> connectDataStore(DataStore *dataStore);

    // Under the lock: they only move ids between lists.
    void lockedHandToChain(const QList<qint64> &ids, const PreprocessorChainLock &lock);
    void passItemOn(PreprocessorInstance *instance, qint64 itemId, const PreprocessorChainLock &lock);
    void lockedRemoveInstance(PreprocessorInstance *instance, const PreprocessorChainLock &lock);
    bool lockedKillWaitQueue(const DataStore *dataStore, bool disconnect, const PreprocessorChainLock &lock,
                             QList<qint64> *items = nullptr);
    PreprocessorInstance *lockedFind(const QString &id, const PreprocessorChainLock &) const;
    void schedulePump(const PreprocessorChainLock &);

    // Main thread, without the lock: what the changes above call for.
    void pump();
    void processHeadItem(PreprocessorInstance *instance);
    void finishItems();
    void removeInstances(const QList<PreprocessorInstance *> &instances);

    mutable QMutex m_mutex;
    // Guarded by m_mutex.
    QList<PreprocessorInstance *> m_chain; // owned, in registration order
    QHash<const DataStore *, WaitQueue> m_waitQueues;
    QList<qint64> m_finished; // passed by the whole chain (or by none), to be unhidden
    bool m_enabled = true;
    bool m_pumpScheduled = false;

    // Main thread only.
    QTimer m_heartbeat;
    QDBusServiceWatcher m_agentWatcher;
};

#endif

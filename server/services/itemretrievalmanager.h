#ifndef TALVORI_ITEMRETRIEVALMANAGER_H
#define TALVORI_ITEMRETRIEVALMANAGER_H

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QReadWriteLock>
#include <QString>
#include <QWaitCondition>

class ItemRetrievalJob;
class OrgFreedesktopTalvoriResourceInterface;
class QDBusServiceWatcher;
struct ItemRetrievalRequest;

namespace Talvori {
class Collection;
}

// Asks resources over the bus for the payload parts the database lacks, one request per resource
// at a time and in the order they came, and wakes the connection threads waiting for them. It
// also passes collection synchronisation requests on to the resources. One manager runs per
// server, in the ItemRetrievalThread that creates it; its bus calls go out on a bus connection of
// its own.
class ItemRetrievalManager : public QObject
{
    Q_OBJECT
public:
    ItemRetrievalManager();
    // Fails every request still open with shuttingDownMessage() and wakes their threads, so that
    // no connection waits for a delivery that will never come; later requests fail at once.
    ~ItemRetrievalManager() override;

    // Called on a connection thread: queues the request with its resource and blocks until it is
    // processed. Deletes the request; throws ItemRetrieverException with its error message when
    // it failed, or when no manager runs.
    static void postRetrievalRequest(ItemRetrievalRequest *request);
    // Any thread, never waits: asks the collection's resource to synchronise it, and its whole
    // collection tree first when the collection is top-level. Dropped when no manager runs.
    static void requestCollectionSync(const Talvori::Collection &collection);

    static QString shuttingDownMessage();

Q_SIGNALS:
    void requestAdded();
    void syncCollection(const QString &resource, qint64 collectionId);
    void syncCollectionTree(const QString &resource);

private Q_SLOTS:
    void processRequest();
    void triggerCollectionSync(const QString &resource, qint64 collectionId);
    void triggerCollectionTreeSync(const QString &resource);
    void retrievalJobFinished(ItemRetrievalRequest *request, const QString &errorMessage);
    void serviceOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

private:
    void post(ItemRetrievalRequest *request);
    // The cached bus proxy of the resource, made anew when the cached one lost its peer; null when
    // the resource is not on the bus.
    OrgFreedesktopTalvoriResourceInterface *resourceInterface(const QString &id);
    // With m_lock held for writing.
    void markProcessed(ItemRetrievalRequest *request, const QString &errorMessage);

    // Connection threads queue and wait under m_lock; everything else happens in the manager's
    // thread. m_lock guards the pending and current maps, m_stopped and every request's processed
    // and errorMessage fields; m_processed is waited on with it.
    QReadWriteLock m_lock;
    QWaitCondition m_processed;
    QHash<QString, QList<ItemRetrievalRequest *>> m_pendingRequests;
    QHash<QString, ItemRetrievalJob *> m_currentJobs;
    bool m_stopped = false;

    // Manager thread only.
    QDBusConnection m_bus;
    // "Cache/DeliveryTimeout": how long a resource may take to deliver one item.
    int m_deliveryTimeoutMs;
    QHash<QString, OrgFreedesktopTalvoriResourceInterface *> m_resourceInterfaces;
    // Tells when the peer of a cached interface leaves the bus.
    QDBusServiceWatcher *m_resourceWatcher;
};

#endif

#include "storage/notificationcollector.h"

#include "storage/datastore.h"

using namespace Talvori;

NotificationCollector::NotificationCollector(DataStore *db)
    : QObject(db)
    , m_db(db)
{
    connect(db, &DataStore::transactionCommitted, this, &NotificationCollector::transactionCommitted);
    connect(db, &DataStore::transactionRolledBack, this, &NotificationCollector::transactionRolledBack);
}

NotificationCollector::NotificationCollector(QObject *parent)
    : QObject(parent)
{
}

void NotificationCollector::notifyItemAdded(const PimItem &item, const Collection &collection, const QString &mimeType,
                                            const QByteArray &resource)
{
    itemNotification(NotificationMessage::Add, item, collection, Collection(), mimeType, resource, {});
}

void NotificationCollector::notifyItemChanged(const PimItem &item, const QSet<QByteArray> &changedParts,
                                              const Collection &collection, const QString &mimeType,
                                              const QByteArray &resource)
{
    itemNotification(NotificationMessage::Modify, item, collection, Collection(), mimeType, resource, changedParts);
}

void NotificationCollector::notifyItemsChanged(const QList<PimItem> &items, const QSet<QByteArray> &changedParts,
                                               const Collection &collection)
{
    // Many items share a collection and a type: each is looked up once, not once per item.
    QHash<qint64, std::pair<qint64, QByteArray>> parents; // collection id -> (parent id, resource)
    QHash<qint64, QString> mimeTypes;
    for (const PimItem &item : items) {
        const qint64 collectionId = collection.isValid() ? collection.id() : item.collectionId();
        auto parent = parents.constFind(collectionId);
        if (parent == parents.constEnd()) {
            const Collection resolved = collection.isValid() ? collection : item.collection();
            parent = parents.insert(collectionId, {resolved.id(), resolved.resource().name().toLatin1()});
        }
        auto mimeType = mimeTypes.constFind(item.mimeTypeId());
        if (mimeType == mimeTypes.constEnd())
            mimeType = mimeTypes.insert(item.mimeTypeId(), item.mimeType().name());
        dispatchNotification(itemMessage(NotificationMessage::Modify, item, parent->first, -1, *mimeType,
                                         parent->second, changedParts));
    }
}

void NotificationCollector::notifyItemMoved(const PimItem &item, const Collection &from, const Collection &to,
                                            const QString &mimeType, const QByteArray &resource)
{
    // Watchers of the destination resource learn from this which resource now owns the item.
    const QSet<QByteArray> parts{to.resource().name().toLatin1()};
    itemNotification(NotificationMessage::Move, item, from, to, mimeType, resource, parts);
}

void NotificationCollector::notifyItemRemoved(const PimItem &item, const Collection &collection,
                                              const QString &mimeType, const QByteArray &resource)
{
    const QSet<QByteArray> parts{item.remoteRevision().toUtf8()};
    itemNotification(NotificationMessage::Remove, item, collection, Collection(), mimeType, resource, parts);
}

void NotificationCollector::notifyItemLinked(const PimItem &item, const Collection &collection)
{
    itemNotification(NotificationMessage::Link, item, collection, Collection(), QString(), QByteArray(), {});
}

void NotificationCollector::notifyItemUnlinked(const PimItem &item, const Collection &collection)
{
    itemNotification(NotificationMessage::Unlink, item, collection, Collection(), QString(), QByteArray(), {});
}

void NotificationCollector::notifyCollectionAdded(const Collection &collection, const QByteArray &resource)
{
    collectionNotification(NotificationMessage::Add, collection, collection.parentId(), -1, resource);
}

void NotificationCollector::notifyCollectionChanged(const Collection &collection, const QList<QByteArray> &changes,
                                                    const QByteArray &resource)
{
    collectionNotification(NotificationMessage::Modify, collection, collection.parentId(), -1, resource,
                           QSet<QByteArray>(changes.begin(), changes.end()));
}

void NotificationCollector::notifyCollectionMoved(const Collection &collection, const Collection &source,
                                                  const QByteArray &resource)
{
    collectionNotification(NotificationMessage::Move, collection, source.id(), collection.parentId(), resource,
                           {QByteArrayLiteral("PARENT")});
}

void NotificationCollector::notifyCollectionRemoved(const Collection &collection, const QByteArray &resource)
{
    collectionNotification(NotificationMessage::Remove, collection, collection.parentId(), -1, resource,
                           {collection.remoteRevision().toUtf8()});
}

void NotificationCollector::notifyCollectionSubscribed(const Collection &collection, const QByteArray &resource)
{
    collectionNotification(NotificationMessage::Subscribe, collection, collection.parentId(), -1, resource);
}

void NotificationCollector::notifyCollectionUnsubscribed(const Collection &collection, const QByteArray &resource)
{
    collectionNotification(NotificationMessage::Unsubscribe, collection, collection.parentId(), -1, resource);
}

void NotificationCollector::itemNotification(NotificationMessage::Operation op, const PimItem &item,
                                             const Collection &collection, const Collection &collectionDest,
                                             const QString &mimeType, const QByteArray &resource,
                                             const QSet<QByteArray> &parts)
{
    const Collection parent = collection.isValid() ? collection : item.collection();
    dispatchNotification(itemMessage(op, item, parent.id(), collectionDest.isValid() ? collectionDest.id() : -1,
                                     mimeType.isEmpty() ? item.mimeType().name() : mimeType,
                                     resource.isEmpty() ? parent.resource().name().toLatin1() : resource, parts));
}

NotificationMessage NotificationCollector::itemMessage(NotificationMessage::Operation op, const PimItem &item,
                                                       qint64 parent, qint64 parentDest, const QString &mimeType,
                                                       const QByteArray &resource, const QSet<QByteArray> &parts) const
{
    NotificationMessage msg;
    msg.setType(NotificationMessage::Item);
    msg.setOperation(op);
    msg.setSessionId(m_sessionId);
    msg.setUid(item.id());
    msg.setRemoteId(item.remoteId());
    msg.setParentCollection(parent);
    msg.setParentDestCollection(parentDest);
    msg.setMimeType(mimeType);
    msg.setResource(resource);
    msg.setItemParts(parts);
    return msg;
}

void NotificationCollector::collectionNotification(NotificationMessage::Operation op, const Collection &collection,
                                                   qint64 source, qint64 destination, const QByteArray &resource,
                                                   const QSet<QByteArray> &parts)
{
    NotificationMessage msg;
    msg.setType(NotificationMessage::Collection);
    msg.setOperation(op);
    msg.setSessionId(m_sessionId);
    msg.setUid(collection.id());
    msg.setRemoteId(collection.remoteId());
    msg.setParentCollection(source);
    msg.setParentDestCollection(destination);
    msg.setResource(resource.isEmpty() ? collection.resource().name().toLatin1() : resource);
    msg.setItemParts(parts);
    dispatchNotification(msg);
}

void NotificationCollector::dispatchNotification(const NotificationMessage &msg)
{
    if (!m_db || m_db->inTransaction()) {
        m_pending.append(msg);
    } else {
        Q_EMIT notify(NotificationMessage::List{msg});
    }
}

void NotificationCollector::emitPending()
{
    Q_EMIT notify(m_pending.take());
}

void NotificationCollector::transactionCommitted()
{
    emitPending();
}

void NotificationCollector::transactionRolledBack()
{
    m_pending.clear();
}

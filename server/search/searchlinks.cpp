#include "searchlinks.h"

#include "common/exception.h"
#include "common/log.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/notificationcollector.h"
#include "storage/querybuilder.h"
#include "storage/transaction.h"

#include <QSet>
#include <QSqlQuery>

using namespace Talvori;

namespace SearchLinks {

namespace {

// Links written in one transaction.
constexpr qsizetype BatchSize = 500;

// The items linked to the collection now; false when the query failed.
bool linkedItems(qint64 collectionId, QSet<qint64> &ids)
{
    QueryBuilder qb(CollectionPimItemRelation::tableName());
    qb.addColumn(CollectionPimItemRelation::rightFullColumnName());
    qb.addValueCondition(CollectionPimItemRelation::leftFullColumnName(), Query::Equals, collectionId);
    if (!qb.exec())
        return false;
    while (qb.query().next())
        ids.insert(qb.query().value(0).toLongLong());
    return true;
}

enum Direction { Linking, Unlinking };

// Adds (or removes) every link of itemIds that wants changing, given the links there are (kept up
// to date here): change writes the link when it has to and returns the item it was for, or an
// invalid item when nothing changed.
template<typename Change>
int applyBatch(const Collection &collection, const QList<qint64> &itemIds, Direction direction,
               Announcement announcement, QSet<qint64> &linked, Change change)
{
    DataStore *db = DataStore::self();
    Transaction transaction(db, false);
    try {
        transaction.begin();
    } catch (const TransactionException &e) {
        logError() << "Unable to change the links of search collection" << collection.id() << ":" << e.what();
        return 0;
    }
    int changed = 0;
    for (const qint64 id : itemIds) {
        if (id <= 0)
            continue;
        const PimItem item = change(linked, id);
        if (!item.isValid())
            continue;
        ++changed;
        if (announcement == Silent)
            continue;
        // The records wait for the commit and leave with it as one list.
        if (direction == Linking)
            db->notificationCollector()->notifyItemLinked(item, collection);
        else
            db->notificationCollector()->notifyItemUnlinked(item, collection);
    }
    if (!transaction.commit()) {
        logError() << "Unable to commit the links of search collection" << collection.id();
        return 0;
    }
    return changed;
}

int apply(const Collection &collection, const QList<qint64> &itemIds, Direction direction,
          Announcement announcement, QSet<qint64> &linked)
{
    const qint64 collectionId = collection.id();
    const auto linking = [collectionId](QSet<qint64> &linked, qint64 id) {
        if (linked.contains(id))
            return PimItem();
        const PimItem item = PimItem::retrieveById(id);
        if (!item.isValid() || !Collection::addPimItem(collectionId, id))
            return PimItem();
        linked.insert(id);
        return item;
    };
    const auto unlinking = [collectionId](QSet<qint64> &linked, qint64 id) {
        if (!linked.contains(id) || !Collection::removePimItem(collectionId, id))
            return PimItem();
        linked.remove(id);
        // The record only names the item in the notification; one that is gone has no links left.
        return PimItem::retrieveById(id);
    };
    int changed = 0;
    for (qsizetype from = 0; from < itemIds.size(); from += BatchSize) {
        const QList<qint64> batch = itemIds.mid(from, BatchSize);
        changed += direction == Linking ? applyBatch(collection, batch, direction, announcement, linked, linking)
                                        : applyBatch(collection, batch, direction, announcement, linked, unlinking);
    }
    return changed;
}

// The collection, with the links it has; invalid when it is gone or they cannot be read.
Collection searchCollection(qint64 collectionId, QSet<qint64> &linked)
{
    const Collection collection = Collection::retrieveById(collectionId);
    if (!collection.isValid() || !linkedItems(collectionId, linked))
        return Collection();
    return collection;
}

} // namespace

int link(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    QSet<qint64> linked;
    const Collection collection = searchCollection(collectionId, linked);
    return collection.isValid() ? apply(collection, itemIds, Linking, announcement, linked) : 0;
}

int unlink(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    QSet<qint64> linked;
    const Collection collection = searchCollection(collectionId, linked);
    return collection.isValid() ? apply(collection, itemIds, Unlinking, announcement, linked) : 0;
}

int replace(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    QSet<qint64> linked;
    const Collection collection = searchCollection(collectionId, linked);
    if (!collection.isValid())
        return 0;
    const QSet<qint64> wanted(itemIds.cbegin(), itemIds.cend());
    QList<qint64> surplus;
    for (const qint64 id : std::as_const(linked)) {
        if (!wanted.contains(id))
            surplus.append(id);
    }
    std::sort(surplus.begin(), surplus.end());
    return apply(collection, itemIds, Linking, announcement, linked)
           + apply(collection, surplus, Unlinking, announcement, linked);
}

} // namespace SearchLinks

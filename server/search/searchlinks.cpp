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

// Adds (or removes) every link of itemIds that wants changing: change writes the link when it has
// to and returns the item it was for, or an invalid item when nothing changed.
template<typename Change>
int apply(qint64 collectionId, const QList<qint64> &itemIds, Direction direction, Announcement announcement,
          Change change)
{
    const Collection collection = Collection::retrieveById(collectionId);
    if (!collection.isValid())
        return 0;
    DataStore *db = DataStore::self();
    Transaction transaction(db, false);
    try {
        transaction.begin();
    } catch (const TransactionException &e) {
        logError() << "Unable to change the links of search collection" << collectionId << ":" << e.what();
        return 0;
    }
    QSet<qint64> linked;
    if (!linkedItems(collectionId, linked))
        return 0;
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
        logError() << "Unable to commit the links of search collection" << collectionId;
        return 0;
    }
    return changed;
}

} // namespace

int link(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    return apply(collectionId, itemIds, Linking, announcement, [collectionId](QSet<qint64> &linked, qint64 id) {
        if (linked.contains(id))
            return PimItem();
        const PimItem item = PimItem::retrieveById(id);
        if (!item.isValid() || !Collection::addPimItem(collectionId, id))
            return PimItem();
        linked.insert(id);
        return item;
    });
}

int unlink(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    return apply(collectionId, itemIds, Unlinking, announcement, [collectionId](QSet<qint64> &linked, qint64 id) {
        if (!linked.contains(id) || !Collection::removePimItem(collectionId, id))
            return PimItem();
        linked.remove(id);
        // The record only names the item in the notification; one that is gone has no links left.
        return PimItem::retrieveById(id);
    });
}

} // namespace SearchLinks

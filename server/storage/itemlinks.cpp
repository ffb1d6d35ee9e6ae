#include "storage/itemlinks.h"

#include "storage/datastore.h"
#include "storage/notificationcollector.h"
#include "storage/querybuilder.h"

#include <QSet>

using namespace Talvori;

namespace ItemLinks {

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

namespace {

enum Direction { Linking, Unlinking };

int change(const Collection &collection, const QList<PimItem> &items, Direction direction,
           Announcement announcement)
{
    QSet<qint64> linked;
    if (!linkedItems(collection.id(), linked))
        return -1;
    NotificationCollector *collector = DataStore::self()->notificationCollector();
    int changed = 0;
    for (const PimItem &item : items) {
        if (linked.contains(item.id()) == (direction == Linking))
            continue;
        if (direction == Linking) {
            if (!Collection::addPimItem(collection.id(), item.id()))
                return -1;
            linked.insert(item.id());
        } else {
            if (!Collection::removePimItem(collection.id(), item.id()))
                return -1;
            linked.remove(item.id());
        }
        ++changed;
        if (announcement == Silent)
            continue;
        if (direction == Linking)
            collector->notifyItemLinked(item, collection);
        else
            collector->notifyItemUnlinked(item, collection);
    }
    return changed;
}

} // namespace

int link(const Collection &collection, const QList<PimItem> &items, Announcement announcement)
{
    return change(collection, items, Linking, announcement);
}

int unlink(const Collection &collection, const QList<PimItem> &items, Announcement announcement)
{
    return change(collection, items, Unlinking, announcement);
}

} // namespace ItemLinks

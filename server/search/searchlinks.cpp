#include "searchlinks.h"

#include "common/exception.h"
#include "common/log.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/itemlinks.h"
#include "storage/transaction.h"

#include <QSet>

#include <algorithm>

using namespace Talvori;

namespace SearchLinks {

namespace {

// Links written in one transaction.
constexpr qsizetype BatchSize = 500;

// The items of the ids that exist, then links them (or removes their links) in one transaction.
template<typename Change>
int applyBatch(const Collection &collection, const QList<qint64> &itemIds, Change change)
{
    DataStore *db = DataStore::self();
    Transaction transaction(db, false);
    try {
        transaction.begin();
    } catch (const TransactionException &e) {
        logError() << "Unable to change the links of search collection" << collection.id() << ":" << e.what();
        return 0;
    }
    QList<PimItem> items;
    items.reserve(itemIds.size());
    for (const qint64 id : itemIds) {
        const PimItem item = id > 0 ? PimItem::retrieveById(id) : PimItem();
        if (item.isValid())
            items.append(item);
    }
    const int changed = change(collection, items);
    if (changed < 0 || !transaction.commit()) {
        logError() << "Unable to change the links of search collection" << collection.id();
        return 0;
    }
    return changed;
}

// Batch by batch, so that the write lock is held only briefly however many links a search gains.
template<typename Change>
int apply(const Collection &collection, const QList<qint64> &itemIds, Change change)
{
    int changed = 0;
    for (qsizetype from = 0; from < itemIds.size(); from += BatchSize)
        changed += applyBatch(collection, itemIds.mid(from, BatchSize), change);
    return changed;
}

auto linking(Announcement announcement)
{
    return [announcement](const Collection &collection, const QList<PimItem> &items) {
        return ItemLinks::link(collection, items, announcement);
    };
}

auto unlinking(Announcement announcement)
{
    return [announcement](const Collection &collection, const QList<PimItem> &items) {
        return ItemLinks::unlink(collection, items, announcement);
    };
}

} // namespace

int link(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    const Collection collection = Collection::retrieveById(collectionId);
    return collection.isValid() ? apply(collection, itemIds, linking(announcement)) : 0;
}

int unlink(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    const Collection collection = Collection::retrieveById(collectionId);
    return collection.isValid() ? apply(collection, itemIds, unlinking(announcement)) : 0;
}

int replace(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    const Collection collection = Collection::retrieveById(collectionId);
    QSet<qint64> linked;
    if (!collection.isValid() || !ItemLinks::linkedItems(collectionId, linked))
        return 0;
    const QSet<qint64> wanted(itemIds.cbegin(), itemIds.cend());
    QList<qint64> surplus;
    for (const qint64 id : std::as_const(linked)) {
        if (!wanted.contains(id))
            surplus.append(id);
    }
    std::sort(surplus.begin(), surplus.end());
    return apply(collection, itemIds, linking(announcement)) + apply(collection, surplus, unlinking(announcement));
}

} // namespace SearchLinks

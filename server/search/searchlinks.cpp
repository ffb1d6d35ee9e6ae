#include "searchlinks.h"

#include "common/exception.h"
#include "common/log.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/itemlinks.h"
#include "storage/transaction.h"

using namespace Talvori;

namespace SearchLinks {

namespace {

// The items of the ids that exist, then links them (or removes their links) in one transaction.
template<typename Change>
int apply(qint64 collectionId, const QList<qint64> &itemIds, Change change)
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
    QList<PimItem> items;
    items.reserve(itemIds.size());
    for (const qint64 id : itemIds) {
        const PimItem item = id > 0 ? PimItem::retrieveById(id) : PimItem();
        if (item.isValid())
            items.append(item);
    }
    const int changed = change(collection, items);
    if (changed < 0 || !transaction.commit()) {
        logError() << "Unable to change the links of search collection" << collectionId;
        return 0;
    }
    return changed;
}

} // namespace

int link(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    return apply(collectionId, itemIds, [announcement](const Collection &collection, const QList<PimItem> &items) {
        return ItemLinks::link(collection, items, announcement);
    });
}

int unlink(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement)
{
    return apply(collectionId, itemIds, [announcement](const Collection &collection, const QList<PimItem> &items) {
        return ItemLinks::unlink(collection, items, announcement);
    });
}

} // namespace SearchLinks

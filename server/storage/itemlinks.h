#ifndef TALVORI_ITEMLINKS_H
#define TALVORI_ITEMLINKS_H

#include "storage/entities.h"

#include <QList>
#include <QSet>

// The links from a collection to items that live elsewhere, which fill search (virtual)
// collections: set by LINK and UNLINK and by the search engines. A link that is there already is
// neither written nor announced again, and one that is not there is not removed. Runs on the
// calling thread's data store, inside the caller's transaction.
namespace ItemLinks {

enum Announcement { Announce, Silent };

// The ids of the items linked to the collection now; false when the query failed.
bool linkedItems(qint64 collectionId, QSet<qint64> &ids);

// The number of links written (removed), or -1 when one could not be.
int link(const Talvori::Collection &collection, const QList<Talvori::PimItem> &items, Announcement announcement);
int unlink(const Talvori::Collection &collection, const QList<Talvori::PimItem> &items,
           Announcement announcement);

} // namespace ItemLinks

#endif

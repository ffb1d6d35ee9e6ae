#ifndef TALVORI_SEARCHLINKS_H
#define TALVORI_SEARCHLINKS_H

#include "storage/itemlinks.h"

#include <QList>
#include <QtGlobal>

// Writes what an engine found into the links between a search collection and the items, on the
// calling thread's data store, in batches of a few hundred links, each in one transaction (so on
// SQLite it waits its turn like any other writer, and holds the write lock only briefly however
// many links a search gains). Only items that exist are linked, a link that is there already is
// neither written nor announced again, and nothing is written for a collection that is gone.
namespace SearchLinks {

using ItemLinks::Announce;
using ItemLinks::Announcement;
using ItemLinks::Silent;

// The number of links written (or removed).
int link(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement);
int unlink(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement);
// Makes the collection's links those of itemIds: links the ones missing, unlinks the others; the
// number of links written and removed.
int replace(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement);

} // namespace SearchLinks

#endif

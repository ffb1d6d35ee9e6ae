#ifndef TALVORI_SEARCHLINKS_H
#define TALVORI_SEARCHLINKS_H

#include "storage/itemlinks.h"

#include <QList>
#include <QtGlobal>

// Writes what an engine found into the links between a search collection and the items, on the
// calling thread's data store, each batch in one transaction (so on SQLite it waits its turn
// like any other writer). Only items that exist are linked, a link that is there already is
// neither written nor announced again, and nothing is written for a collection that is gone.
namespace SearchLinks {

using ItemLinks::Announce;
using ItemLinks::Announcement;
using ItemLinks::Silent;

// The number of links written (or removed).
int link(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement);
int unlink(qint64 collectionId, const QList<qint64> &itemIds, Announcement announcement);

} // namespace SearchLinks

#endif

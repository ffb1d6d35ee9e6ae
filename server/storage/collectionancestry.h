#ifndef TALVORI_COLLECTIONANCESTRY_H
#define TALVORI_COLLECTIONANCESTRY_H

#include "storage/entities.h"

#include <QHash>
#include <QStack>

#include <functional>

// The rules that look up the collection tree, written once whatever the parents come from: the
// database (one cached record lookup per step) or a tree a listing has loaded into memory.
class CollectionAncestry
{
public:
    // Gives the collection of an id, invalid when there is none.
    using Lookup = std::function<Talvori::Collection(qint64 id)>;
    static Lookup fromDatabase();
    // From collections loaded at once; the map must outlive the lookup.
    static Lookup fromMap(const QHash<qint64, Talvori::Collection> &collections);
    // Every collection by id, read in one query (empty when it failed).
    static QHash<qint64, Talvori::Collection> loadAll();

    // Fills the cache policy columns of a collection that inherits them from its nearest ancestor
    // with a policy of its own, in memory only; without such an ancestor, the server's default.
    static void applyActiveCachePolicy(Talvori::Collection &collection, const Lookup &lookup);

    // The collection with id start and its ancestors, at most depth of them, the start on top of
    // the stack (listings read the nearest first).
    static QStack<Talvori::Collection> upwards(qint64 start, int depth, const Lookup &lookup);
};

#endif

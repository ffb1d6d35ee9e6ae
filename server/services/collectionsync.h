#ifndef TALVORI_COLLECTIONSYNC_H
#define TALVORI_COLLECTIONSYNC_H

namespace Talvori {
class Collection;
}

// Asks the resource that owns a collection to synchronise it, without waiting for the outcome.
// A plain FETCH in a collection whose cache policy wants synchronisation on demand calls this so
// that the next look at the collection sees the remote store's changes.
class CollectionSync
{
public:
    // Also asks for the resource's collection tree when the collection is top-level.
    static void request(const Talvori::Collection &collection);
};

#endif

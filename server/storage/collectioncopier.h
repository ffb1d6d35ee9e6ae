#ifndef TALVORI_COLLECTIONCOPIER_H
#define TALVORI_COLLECTIONCOPIER_H

#include "storage/itemcopier.h"

class DataStore;

// Copies a collection with its whole subtree below another collection, for COLCOPY: each copy
// keeps the source's name, settings, content types and attributes and belongs to the target's
// resource. Within one resource the copies keep their remote identifiers and revisions; in
// another they have none, since that resource never gave them. Children are copied before the
// items of their parent; the items as ItemCopier copies them. Runs inside the caller's transaction.
class CollectionCopier
{
public:
    explicit CollectionCopier(DataStore *store);

    // The target must not lie in the source's subtree. False at the first failure.
    bool copy(const Talvori::Collection &source, const Talvori::Collection &target);

private:
    DataStore *m_store;
    ItemCopier m_items;
};

#endif

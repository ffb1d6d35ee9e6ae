#ifndef TALVORI_COLLECTIONHOOKS_H
#define TALVORI_COLLECTIONHOOKS_H

#include "storage/entities.h"

#include <functional>

// Services of item retrieval that collection commands call. Those services register their
// functions here when they start; until then each call does nothing, so the collection commands
// work without them.
class CollectionHooks
{
public:
    // Fetches every missing payload of the collection's subtree; throws on failure.
    using SubtreeRetrieval = std::function<void(const Talvori::Collection &)>;

    static void setSubtreeRetrieval(SubtreeRetrieval function);

    static void retrieveSubtreePayloads(const Talvori::Collection &collection);
};

#endif

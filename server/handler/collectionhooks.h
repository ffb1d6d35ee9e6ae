#ifndef TALVORI_COLLECTIONHOOKS_H
#define TALVORI_COLLECTIONHOOKS_H

#include "storage/entities.h"

#include <QString>

#include <functional>

class Session;

// Services of item retrieval that collection commands call. Those services register their
// functions here when they start; until then each call does nothing, so the collection commands
// work without them.
class CollectionHooks
{
public:
    // Fetches every missing payload of the collection's subtree for the session; empty when all
    // of it is in the database then, otherwise why not.
    using SubtreeRetrieval = std::function<QString(Session *, const Talvori::Collection &)>;

    static void setSubtreeRetrieval(SubtreeRetrieval function);

    static QString retrieveSubtreePayloads(Session *session, const Talvori::Collection &collection);
};

#endif

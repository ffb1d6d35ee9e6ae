#ifndef TALVORI_COLLECTIONHOOKS_H
#define TALVORI_COLLECTIONHOOKS_H

#include "storage/entities.h"

#include <QString>

#include <functional>

class NotificationCollector;
class Session;

// Services of the search manager and of item retrieval that collection commands call. Those
// services register their functions here when they start; until then each call does nothing, so
// the collection commands work without them.
class CollectionHooks
{
public:
    using SearchUpdate = std::function<void(const Talvori::Collection &, NotificationCollector *)>;
    using SearchRemoval = std::function<void(const Talvori::Collection &)>;
    // Fetches every missing payload of the collection's subtree for the session; empty when all
    // of it is in the database then, otherwise why not.
    using SubtreeRetrieval = std::function<QString(Session *, const Talvori::Collection &)>;

    static void setPersistentSearchUpdate(SearchUpdate function);
    static void setPersistentSearchRemoval(SearchRemoval function);
    static void setSubtreeRetrieval(SubtreeRetrieval function);

    static void updatePersistentSearch(const Talvori::Collection &collection, NotificationCollector *collector);
    static void removePersistentSearch(const Talvori::Collection &collection);
    static QString retrieveSubtreePayloads(Session *session, const Talvori::Collection &collection);
};

#endif

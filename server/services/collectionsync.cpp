#include "collectionsync.h"

#include "storage/entities.h"

void CollectionSync::request(const Talvori::Collection &collection)
{
    // The request goes to the resource over the bus through the item retrieval service, which
    // does not exist yet; until it does there is nobody to ask, and a fetch must not wait for a
    // synchronisation anyway, so dropping the request changes no command's answer.
    Q_UNUSED(collection);
}

#include "delete.h"

#include "common/exception.h"
#include "search/searchmanager.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

Delete::Delete(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Delete::deleteRecursive(Collection &collection)
{
    QList<Collection> children = collection.children();
    for (Collection &child : children) {
        if (!deleteRecursive(child))
            return false;
    }
    return m_connection->storageBackend()->cleanupCollection(collection);
}

bool Delete::parseStream()
{
    m_scope.readFromStream(m_streamParser);
    Collection collection = CollectionResolver::resolveUnique(m_scope, *m_connection, "No collection selected",
                                                              "Deleting multiple collections is not yet implemented");

    DataStore *db = m_connection->storageBackend();
    Transaction transaction(db);
    if (!collection.isValid())
        return failureResponse("No such collection.");

    if (collection.parentId() == 0 && collection.resource().name() == QLatin1String("talvori_search_resource"))
        return failureResponse("Cannot delete virtual root collection");

    SearchManager::removeSearchAfterCommit(collection.id(), db);

    if (!deleteRecursive(collection))
        return failureResponse("Unable to delete collection");

    if (!transaction.commit())
        return failureResponse("Unable to commit transaction.");
    return successResponse("DELETE completed");
}

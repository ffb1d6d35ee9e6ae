#include "move.h"

#include "handlersupport.h"

#include "common/exception.h"
#include "services/itemretriever.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/itemqueryhelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

Move::Move(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Move::parseStream()
{
    m_scope.readFromStream(m_streamParser);
    Scope destinationScope(m_scope.selection());
    destinationScope.readFromStream(m_streamParser);
    const Collection destination = CollectionResolver::resolveSingle(destinationScope, *m_connection);
    if (destination.id() <= 0)
        throw HandlerException("The root collection cannot hold items");

    ItemRetriever retriever(m_connection);
    retriever.setScope(m_scope);
    retriever.setDestinationResource(destination.resourceId());
    HandlerSupport::retrieveFullPayload(retriever);

    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);
    SelectQueryBuilder<PimItem> itemQuery;
    ItemQueryHelper::scopeToQuery(m_scope, *m_connection, itemQuery);
    itemQuery.addValueCondition(PimItem::collectionIdFullColumnName(), Query::NotEquals, destination.id());
    itemQuery.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    if (!itemQuery.exec())
        throw HandlerException("Unable to execute query");
    const QList<PimItem> items = itemQuery.result();
    if (items.isEmpty())
        throw HandlerException("No items found");
    for (const PimItem &item : items) {
        if (!item.isValid())
            throw HandlerException("Invalid item in result set!?");
        if (item.collectionId() <= 0)
            throw HandlerException("Item without collection found!?");
    }

    // A move the destination's resource makes itself is one it knows of already.
    const bool markDirty = m_connection->resourceContext().id() != destination.resourceId();
    if (!store->movePimItems(items, destination, markDirty))
        throw HandlerException("Unable to update item");
    if (!transaction.commit())
        return failureResponse("Unable to commit transaction.");
    return successResponse("MOVE complete");
}

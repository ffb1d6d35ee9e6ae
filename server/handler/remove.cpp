#include "remove.h"

#include "common/exception.h"
#include "storage/datastore.h"
#include "storage/itemqueryhelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

Remove::Remove(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Remove::parseStream()
{
    m_scope.readFromStream(m_streamParser);

    SelectQueryBuilder<PimItem> itemQuery;
    ItemQueryHelper::scopeToQuery(m_scope, *m_connection, itemQuery);
    if (!itemQuery.exec())
        throw HandlerException("Unable to execute query");
    const QList<PimItem> items = itemQuery.result();
    if (items.isEmpty())
        throw HandlerException("No items found");

    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);
    if (!store->cleanupPimItems(items))
        throw HandlerException("Deletion failed");
    if (!transaction.commit())
        return failureResponse("Unable to commit transaction.");
    return successResponse("REMOVE complete");
}

#include "link.h"

#include "common/exception.h"
#include "protocol/imapstreamparser.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/itemlinks.h"
#include "storage/itemqueryhelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

Link::Link(Scope::SelectionScope scope, bool create)
    : m_scope(scope)
    , m_create(create)
{
}

bool Link::parseStream()
{
    m_scope.readFromStream(m_streamParser);
    const Collection collection = CollectionResolver::resolveSingle(m_scope, *m_connection);
    if (collection.id() <= 0)
        throw HandlerException("The root collection cannot hold items");

    Scope itemScope(Scope::selectionFromWord(m_streamParser->peekString()));
    if (itemScope.selection() != Scope::Plain)
        m_streamParser->readString();
    itemScope.readFromStream(m_streamParser);
    SelectQueryBuilder<PimItem> itemQuery;
    ItemQueryHelper::scopeToQuery(itemScope, *m_connection, itemQuery);
    itemQuery.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    if (!itemQuery.exec())
        return failureResponse("Unable to execute item query");

    Transaction transaction(m_connection->storageBackend());
    const QList<PimItem> items = itemQuery.result();
    const int changed = m_create ? ItemLinks::link(collection, items, ItemLinks::Announce)
                                 : ItemLinks::unlink(collection, items, ItemLinks::Announce);
    if (changed < 0)
        return failureResponse("Failed to modify item reference");
    if (!transaction.commit())
        return failureResponse("Cannot commit transaction.");
    return successResponse("LINK complete");
}

#include "copy.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "services/itemretriever.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/itemcopier.h"
#include "storage/itemqueryhelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

bool Copy::parseStream()
{
    const ImapSet set = m_streamParser->readSequenceSet();
    if (set.isEmpty())
        return failureResponse("No items specified");
    // Before the download: a wrong target costs nothing then.
    const Collection target = CollectionResolver::findCollection(m_streamParser->readString());
    if (!target.isValid())
        return failureResponse("No valid target specified");

    ItemRetriever retriever(m_connection);
    retriever.setItemSet(set);
    HandlerSupport::retrieveFullPayload(retriever);

    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);
    SelectQueryBuilder<PimItem> itemQuery;
    ItemQueryHelper::itemSetToQuery(set, itemQuery, Collection());
    itemQuery.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    if (!itemQuery.exec())
        return failureResponse("Unable to retrieve items");
    if (!ItemCopier(store).copy(itemQuery.result(), target))
        return failureResponse("Unable to copy item");
    if (!transaction.commit())
        return failureResponse("Cannot commit transaction.");
    return successResponse("COPY complete");
}

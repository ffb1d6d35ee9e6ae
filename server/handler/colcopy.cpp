#include "colcopy.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "services/itemretriever.h"
#include "storage/collectioncopier.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

bool ColCopy::parseStream()
{
    const Collection source = CollectionResolver::findCollection(m_streamParser->readString());
    if (!source.isValid())
        return failureResponse("No valid source specified");
    const Collection target = CollectionResolver::findCollection(m_streamParser->readString());
    if (!target.isValid())
        return failureResponse("No valid target specified");
    // Each copy would be copied again below itself, without end.
    if (DataStore::isInSubtree(target, source))
        return failureResponse("Cannot copy a collection into its own subtree");

    ItemRetriever retriever(m_connection);
    retriever.setCollection(source, true);
    HandlerSupport::retrieveFullPayload(retriever);

    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);
    if (!CollectionCopier(store).copy(source, target))
        return failureResponse("Failed to copy collection");
    if (!transaction.commit())
        return failureResponse("Cannot commit transaction.");
    return successResponse("COLCOPY complete");
}

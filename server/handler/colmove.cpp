#include "colmove.h"

#include "handlersupport.h"

#include "common/log.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

ColMove::ColMove(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool ColMove::parseStream()
{
    m_scope.readFromStream(m_streamParser);
    Collection source = CollectionResolver::resolveUnique(m_scope, *m_connection, "No source collection specified",
                                                          "Moving multiple collections is not yet implemented");
    Scope targetScope(m_scope.selection());
    targetScope.readFromStream(m_streamParser);
    const Collection target = CollectionResolver::resolveSingle(targetScope, *m_connection);
    logDebug() << "COLMOVE" << source.id() << "below" << targetScope.idSet().toImapSequenceSet();
    if (source.parentId() == target.id())
        return successResponse("COLMOVE complete - nothing to do");

    HandlerSupport::retrieveBeforeResourceChange(m_connection, source, target);

    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);
    if (!store->moveCollection(source, target))
        return failureResponse("Unable to reparent collection");
    if (!transaction.commit())
        return failureResponse("Cannot commit transaction.");
    return successResponse("COLMOVE complete");
}

#include "expunge.h"

#include "handlersupport.h"

#include "common/exception.h"
#include "storage/datastore.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

bool Expunge::parseStream()
{
    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);
    const Flag deleted = Flag::retrieveByName(QStringLiteral("\\DELETED"));
    if (!deleted.isValid())
        return errorResponse("\\DELETED flag unknown");
    QList<PimItem> items;
    if (!DataStore::itemsWithFlag(deleted, Collection(), items))
        throw HandlerException("Unable to execute query.");
    if (!store->cleanupPimItems(items))
        return errorResponse("internal error");
    if (!transaction.commit())
        return failureResponse("Unable to commit transaction.");

    // Only now are the items gone: a client told before the commit could have been told wrong.
    for (const PimItem &item : std::as_const(items))
        sendResponse(HandlerSupport::untagged(QByteArray::number(item.id()) + " EXPUNGE"));
    return successResponse("EXPUNGE completed");
}

#include "itemscopequery.h"

#include "collectionresolver.h"

#include "common/exception.h"
#include "connection/talvoriconnection.h"
#include "protocol/scope.h"

using namespace Talvori;

void ItemQueryHelper::itemSetToQuery(const ImapSet &set, bool isUid, TalvoriConnection *connection,
                                     QueryBuilder &qb)
{
    if (!isUid && connection->selectedCollectionId() >= 0)
        itemSetToQuery(set, qb, connection->selectedCollection());
    else
        itemSetToQuery(set, qb, Collection());
}

void ItemQueryHelper::scopeToQuery(const Scope &scope, TalvoriConnection *connection, QueryBuilder &qb)
{
    if (scope.selection() == Scope::Plain || scope.selection() == Scope::ById) {
        itemSetToQuery(scope.idSet(), scope.selection() == Scope::ById, connection, qb);
        return;
    }

    if (connection->selectedCollectionId() <= 0 && !connection->resourceContext().isValid())
        throw HandlerException("Operations based on remote identifiers require a resource or collection context");

    if (scope.selection() == Scope::ByRemoteId) {
        remoteIdToQuery(scope.remoteIdList(), connection->resourceContext(), connection->selectedCollectionId(), qb);
        return;
    }
    if (scope.selection() == Scope::ByRemotePath) {
        QStringList chain = scope.remoteIdChain();
        if (chain.isEmpty())
            throw HandlerException("Empty or incomplete hierarchical RID chain");
        const QString itemRemoteId = chain.takeFirst();
        // Only checks that the collection part names exactly one collection of this resource.
        CollectionResolver::resolveRidChain(chain, connection->resourceContext().id());
        remoteIdToQuery({itemRemoteId}, connection->resourceContext(), connection->selectedCollectionId(), qb);
        return;
    }
    throw HandlerException("Dude, WTF?!?");
}

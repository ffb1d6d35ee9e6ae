#include "storage/itemqueryhelper.h"

#include "common/exception.h"
#include "protocol/scope.h"
#include "storage/collectionresolver.h"
#include "storage/entities.h"
#include "storage/querybuilder.h"
#include "storage/queryhelper.h"
#include "storage/session.h"

#include <imapset.h>

using namespace Talvori;

namespace ItemQueryHelper {

void itemSetToQuery(const ImapSet &set, QueryBuilder &qb, const Collection &collection)
{
    QueryHelper::setToQuery(set, PimItem::idFullColumnName(), qb);
    if (!collection.isValid()) {
        return;
    }
    if (collection.resource().isVirtual()) {
        qb.addJoin(QueryBuilder::InnerJoin, CollectionPimItemRelation::tableName(),
                   CollectionPimItemRelation::rightFullColumnName(), PimItem::idFullColumnName());
        qb.addValueCondition(CollectionPimItemRelation::leftFullColumnName(), Query::Equals, collection.id());
    } else {
        qb.addValueCondition(PimItem::collectionIdColumn(), Query::Equals, collection.id());
    }
}

void remoteIdToQuery(const QStringList &rids, const Resource &resourceContext, qint64 selectedCollectionId,
                     QueryBuilder &qb)
{
    if (rids.size() == 1) {
        qb.addValueCondition(PimItem::remoteIdFullColumnName(), Query::Equals, rids.first());
    } else {
        qb.addValueCondition(PimItem::remoteIdFullColumnName(), Query::In, rids);
    }

    if (resourceContext.isValid()) {
        qb.addJoin(QueryBuilder::InnerJoin, Collection::tableName(), PimItem::collectionIdFullColumnName(),
                   Collection::idFullColumnName());
        qb.addValueCondition(Collection::resourceIdFullColumnName(), Query::Equals, resourceContext.id());
    } else if (selectedCollectionId > 0) {
        qb.addValueCondition(PimItem::collectionIdFullColumnName(), Query::Equals, selectedCollectionId);
    }
}

void itemSetToQuery(const ImapSet &set, bool isUid, const Session &session, QueryBuilder &qb)
{
    itemSetToQuery(set, qb, isUid ? Collection() : session.selectedCollection());
}

void joinTypeCollectionAndResource(QueryBuilder &qb)
{
    qb.addJoin(QueryBuilder::InnerJoin, MimeType::tableName(), PimItem::mimeTypeIdFullColumnName(),
               MimeType::idFullColumnName());
    qb.addJoin(QueryBuilder::InnerJoin, Collection::tableName(), PimItem::collectionIdFullColumnName(),
               Collection::idFullColumnName());
    qb.addJoin(QueryBuilder::InnerJoin, Resource::tableName(), Collection::resourceIdFullColumnName(),
               Resource::idFullColumnName());
}

void scopeToQuery(const Scope &scope, const Session &session, QueryBuilder &qb)
{
    if (scope.selection() == Scope::Plain || scope.selection() == Scope::ById) {
        itemSetToQuery(scope.idSet(), scope.selection() == Scope::ById, session, qb);
        return;
    }

    if (session.selectedCollectionId() <= 0 && !session.resourceContext().isValid())
        throw HandlerException("Operations based on remote identifiers require a resource or collection context");

    if (scope.selection() == Scope::ByRemoteId) {
        remoteIdToQuery(scope.remoteIdList(), session.resourceContext(), session.selectedCollectionId(), qb);
        return;
    }
    if (scope.selection() == Scope::ByRemotePath) {
        QStringList chain = scope.remoteIdChain();
        if (chain.isEmpty())
            throw HandlerException("Empty or incomplete hierarchical RID chain");
        const QString itemRemoteId = chain.takeFirst();
        // Only checks that the collection part names exactly one collection of this resource.
        CollectionResolver::resolveRidChain(chain, session.resourceContext().id());
        remoteIdToQuery({itemRemoteId}, session.resourceContext(), session.selectedCollectionId(), qb);
        return;
    }
    // The message is the one clients have always seen for a scope that cannot happen.
    throw HandlerException("Dude, WTF?!?");
}

} // namespace ItemQueryHelper


#include "storage/itemqueryhelper.h"

#include "storage/entities.h"
#include "storage/querybuilder.h"
#include "storage/queryhelper.h"

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

} // namespace ItemQueryHelper


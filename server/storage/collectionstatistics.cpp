#include "storage/collectionstatistics.h"

#include "common/log.h"
#include "storage/countquerybuilder.h"
#include "storage/entities.h"

#include <QSqlError>

using namespace Talvori;

CollectionStatistics CollectionStatistics::of(const Collection &collection)
{
    CollectionStatistics statistics;
    statistics.count = countItems(collection);
    statistics.unseen = countItemsWithoutFlag(collection, QStringLiteral("\\SEEN"));
    statistics.size = totalItemSize(collection);
    return statistics;
}

int CollectionStatistics::countItems(const Collection &collection)
{
    CountQueryBuilder qb(PimItem::tableName());
    qb.addValueCondition(PimItem::collectionIdColumn(), Query::Equals, collection.id());
    if (!qb.exec())
        return -1;
    return qb.result();
}

int CollectionStatistics::countItemsWithFlag(const Collection &collection, const QString &flagName)
{
    CountQueryBuilder qb(PimItem::tableName());
    qb.addJoin(QueryBuilder::InnerJoin, PimItemFlagRelation::tableName(), PimItem::idFullColumnName(),
               PimItemFlagRelation::leftFullColumnName());
    qb.addJoin(QueryBuilder::InnerJoin, Flag::tableName(), Flag::idFullColumnName(),
               PimItemFlagRelation::rightFullColumnName());
    qb.addValueCondition(PimItem::collectionIdFullColumnName(), Query::Equals, collection.id());
    qb.addValueCondition(Flag::nameFullColumnName(), Query::Equals, flagName);
    if (!qb.exec())
        return -1;
    return qb.result();
}

int CollectionStatistics::countItemsWithoutFlag(const Collection &collection, const QString &flagName)
{
    const int all = countItems(collection);
    const int withFlag = countItemsWithFlag(collection, flagName);
    if (all < 0 || withFlag < 0)
        return -1;
    return all - withFlag;
}

qint64 CollectionStatistics::totalItemSize(const Collection &collection)
{
    QueryBuilder qb(PimItem::tableName());
    qb.addColumn(QStringLiteral("sum(%1)").arg(PimItem::sizeFullColumnName()));
    qb.addValueCondition(PimItem::collectionIdFullColumnName(), Query::Equals, collection.id());
    if (!qb.exec())
        return -1;
    if (!qb.query().next()) {
        logDebug() << "Error during retrieving result of query:" << qb.query().lastError().text();
        return -1;
    }
    return qb.query().value(0).toLongLong();
}

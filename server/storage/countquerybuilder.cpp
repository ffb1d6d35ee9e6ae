#include "storage/countquerybuilder.h"

#include "common/log.h"

#include <QSqlError>

CountQueryBuilder::CountQueryBuilder(const QString &table)
    : QueryBuilder(table, SelectStatement)
{
    addColumn(QStringLiteral("count(*)"));
}

int CountQueryBuilder::result()
{
    if (!query().next()) {
        logDebug() << "Error during retrieving result of query:" << query().lastError().text();
        return -1;
    }
    return query().value(0).toInt();
}

#include "storage/dbinitializerpostgresql.h"

namespace {
const QLatin1String cascade(" ON DELETE CASCADE ON UPDATE CASCADE");
}

QString DbInitializerPostgreSql::sqlType(const QString &type) const
{
    static const QHash<QString, QString> types = {
        {QStringLiteral("qint64"), QStringLiteral("int8")},
        {QStringLiteral("QString"), QStringLiteral("BYTEA")},
        {QStringLiteral("QByteArray"), QStringLiteral("BYTEA")},
    };
    return types.contains(type) ? types.value(type) : DbInitializer::sqlType(type);
}

QString DbInitializerPostgreSql::buildColumnStatement(const ColumnDescription &columnDescription) const
{
    QString column = columnDescription.name + QLatin1Char(' ')
        + (columnDescription.isAutoIncrement ? QStringLiteral("BIGSERIAL") : sqlType(columnDescription.type));
    column += keyClause(columnDescription);
    if (!columnDescription.allowNull && !columnDescription.isPrimaryKey) {
        column += QLatin1String(" NOT NULL");
    }
    if (!columnDescription.refTable.isEmpty() && !columnDescription.refColumn.isEmpty()) {
        column += QStringLiteral(" REFERENCES %1Table(%2)").arg(columnDescription.refTable, columnDescription.refColumn)
            + cascade;
    }
    return column + defaultClause(columnDescription);
}

QString DbInitializerPostgreSql::relationColumnStatement(const QString &table, const QString &column,
                                                         const QString &tableName) const
{
    return QStringLiteral("%1_%2 int8 REFERENCES %3(%4) %5, ").arg(table, column, tableName, column, cascade);
}

QString DbInitializerPostgreSql::hasIndexQuery(const QString &tableName, const QString &indexName)
{
    return QStringLiteral("SELECT indexname FROM pg_catalog.pg_indexes")
        + QStringLiteral(" WHERE tablename ilike '%1'").arg(tableName)
        + QStringLiteral(" AND  indexname ilike '%1';").arg(indexName);
}

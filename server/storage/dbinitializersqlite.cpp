#include "storage/dbinitializersqlite.h"

QString DbInitializerSqlite::buildColumnStatement(const ColumnDescription &columnDescription) const
{
    // Only an INTEGER PRIMARY KEY is the row id that AUTOINCREMENT applies to.
    QString column = columnDescription.name + QLatin1Char(' ')
        + (columnDescription.isAutoIncrement ? QStringLiteral("INTEGER") : sqlType(columnDescription.type));
    column += keyClause(columnDescription);
    if (columnDescription.isAutoIncrement) {
        column += QLatin1String(" AUTOINCREMENT");
    }
    if (!columnDescription.allowNull) {
        column += QLatin1String(" NOT NULL");
    }
    return column + defaultClause(columnDescription);
}

QString DbInitializerSqlite::initialValue(const QString &value) const
{
    QString literal = value;
    literal.replace(QLatin1String("true"), QLatin1String("1"));
    return literal.replace(QLatin1String("false"), QLatin1String("0"));
}

QString DbInitializerSqlite::hasIndexQuery(const QString &tableName, const QString &indexName)
{
    return QStringLiteral("SELECT * FROM sqlite_master WHERE type='index' AND tbl_name='%1' AND name='%2';")
        .arg(tableName, indexName);
}

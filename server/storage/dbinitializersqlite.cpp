#include "storage/dbinitializersqlite.h"

DbInitializerSqlite::DbInitializerSqlite(const QSqlDatabase &database, const QString &templateFile)
    : DbInitializer(database, templateFile)
{
}

QString DbInitializerSqlite::buildCreateTableStatement(const TableDescription &tableDescription) const
{
    QStringList columns;
    for (const ColumnDescription &column : tableDescription.columns) {
        columns.append(buildColumnStatement(column));
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(tableDescription.name, columns.join(QLatin1String(", ")));
}

QString DbInitializerSqlite::buildColumnStatement(const ColumnDescription &columnDescription) const
{
    // Only an INTEGER PRIMARY KEY is the row id that AUTOINCREMENT applies to.
    QString column = columnDescription.name + QLatin1Char(' ')
        + (columnDescription.isAutoIncrement ? QStringLiteral("INTEGER") : sqlType(columnDescription.type));
    if (columnDescription.isPrimaryKey) {
        column += QLatin1String(" PRIMARY KEY");
    } else if (columnDescription.isUnique) {
        column += QLatin1String(" UNIQUE");
    }
    if (columnDescription.isAutoIncrement) {
        column += QLatin1String(" AUTOINCREMENT");
    }
    if (!columnDescription.allowNull) {
        column += QLatin1String(" NOT NULL");
    }
    if (!columnDescription.defaultValue.isEmpty()) {
        const QString defaultValue = sqlValue(columnDescription.type, columnDescription.defaultValue);
        if (!defaultValue.isEmpty()) {
            column += QStringLiteral(" DEFAULT %1").arg(defaultValue);
        }
    }
    return column;
}

QString DbInitializerSqlite::buildInsertValuesStatement(const TableDescription &tableDescription,
                                                        const DataDescription &dataDescription) const
{
    QStringList columns;
    QStringList values;
    for (const QString &column : dataDescription.columns) {
        columns.append(column);
        QString value = dataDescription.data.value(column);
        value.replace(QLatin1String("true"), QLatin1String("1"));
        value.replace(QLatin1String("false"), QLatin1String("0"));
        values.append(value);
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(tableDescription.name, columns.join(QLatin1Char(',')), values.join(QLatin1Char(',')));
}

QString DbInitializerSqlite::hasIndexQuery(const QString &tableName, const QString &indexName)
{
    return QStringLiteral("SELECT * FROM sqlite_master WHERE type='index' AND tbl_name='%1' AND name='%2';")
        .arg(tableName, indexName);
}

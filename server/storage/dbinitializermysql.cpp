#include "storage/dbinitializermysql.h"

QString DbInitializerMySql::sqlType(const QString &type) const
{
    // Binary, so names compare byte by byte whatever the server's collation.
    if (type == QLatin1String("QString")) {
        return QStringLiteral("VARBINARY(255)");
    }
    return DbInitializer::sqlType(type);
}

QString DbInitializerMySql::buildCreateTableStatement(const TableDescription &tableDescription) const
{
    QStringList columns = columnStatements(tableDescription);
    for (const ColumnDescription &column : tableDescription.columns) {
        if (!column.refTable.isEmpty() && !column.refColumn.isEmpty()) {
            columns.append(QStringLiteral("FOREIGN KEY (%1) REFERENCES %2Table(%3) ON DELETE CASCADE ON UPDATE CASCADE")
                               .arg(column.name, column.refTable, column.refColumn));
        }
    }

    const QString tableProperties = QStringLiteral(" COLLATE=utf8_general_ci DEFAULT CHARSET=utf8");
    return QStringLiteral("CREATE TABLE %1 (%2) %3")
        .arg(tableDescription.name, columns.join(QLatin1String(", ")), tableProperties);
}

QString DbInitializerMySql::buildColumnStatement(const ColumnDescription &columnDescription) const
{
    QString column = columnDescription.name + QLatin1Char(' ') + sqlType(columnDescription.type);
    if (!columnDescription.allowNull) {
        column += QLatin1String(" NOT NULL");
    }
    if (columnDescription.isAutoIncrement) {
        column += QLatin1String(" AUTO_INCREMENT");
    }
    if (columnDescription.isPrimaryKey) {
        column += QLatin1String(" PRIMARY KEY");
    }
    if (columnDescription.isUnique) {
        column += QLatin1String(" UNIQUE");
    }
    return column + defaultClause(columnDescription);
}

QString DbInitializerMySql::relationColumnStatement(const QString &table, const QString &column,
                                                    const QString &tableName) const
{
    // The server enforces references written beside a column and insists that both sides have
    // the same type, so the columns match the BIGINT ids they refer to. Rows go with the records
    // they link, whichever is deleted first.
    return QStringLiteral("%1_%2 BIGINT REFERENCES %3(%4) ON DELETE CASCADE ON UPDATE CASCADE, ")
        .arg(table, column, tableName, column);
}

QString DbInitializerMySql::hasIndexQuery(const QString &tableName, const QString &indexName)
{
    return QStringLiteral("SHOW INDEXES FROM %1 WHERE `Key_name` = '%2'").arg(tableName, indexName);
}

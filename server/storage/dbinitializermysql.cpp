#include "storage/dbinitializermysql.h"

DbInitializerMySql::DbInitializerMySql(const QSqlDatabase &database, const QString &templateFile)
    : DbInitializer(database, templateFile)
{
}

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
    QStringList columns;
    QStringList references;
    for (const ColumnDescription &column : tableDescription.columns) {
        columns.append(buildColumnStatement(column));
        if (!column.refTable.isEmpty() && !column.refColumn.isEmpty()) {
            references.append(QStringLiteral("FOREIGN KEY (%1) REFERENCES %2Table(%3) ON DELETE CASCADE ON UPDATE CASCADE")
                                  .arg(column.name, column.refTable, column.refColumn));
        }
    }
    columns << references;

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
    if (!columnDescription.defaultValue.isEmpty()) {
        const QString defaultValue = sqlValue(columnDescription.type, columnDescription.defaultValue);
        if (!defaultValue.isEmpty()) {
            column += QStringLiteral(" DEFAULT %1").arg(defaultValue);
        }
    }
    return column;
}

QString DbInitializerMySql::buildInsertValuesStatement(const TableDescription &tableDescription,
                                                       const DataDescription &dataDescription) const
{
    QStringList columns;
    QStringList values;
    for (const QString &column : dataDescription.columns) {
        columns.append(column);
        QString value = dataDescription.data.value(column);
        // The server reads a backslash in a string literal as an escape.
        value.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        values.append(value);
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(tableDescription.name, columns.join(QLatin1Char(',')), values.join(QLatin1Char(',')));
}

QString DbInitializerMySql::buildCreateRelationTableStatement(const QString &tableName,
                                                              const RelationDescription &relation) const
{
    // The server enforces references written beside a column and insists that both sides have
    // the same type, so the columns match the BIGINT ids they refer to. Rows go with the records
    // they link, whichever is deleted first.
    const QString column = QStringLiteral("%1_%2 BIGINT REFERENCES %3(%4) ON DELETE CASCADE ON UPDATE CASCADE, ");
    return QStringLiteral("CREATE TABLE %1 (").arg(tableName)
        + column.arg(relation.firstTable, relation.firstColumn, relation.firstTableName, relation.firstColumn)
        + column.arg(relation.secondTable, relation.secondColumn, relation.secondTableName, relation.secondColumn)
        + QStringLiteral("PRIMARY KEY (%1_%2, %3_%4))")
              .arg(relation.firstTable, relation.firstColumn, relation.secondTable, relation.secondColumn);
}

QString DbInitializerMySql::hasIndexQuery(const QString &tableName, const QString &indexName)
{
    return QStringLiteral("SHOW INDEXES FROM %1 WHERE `Key_name` = '%2'").arg(tableName, indexName);
}

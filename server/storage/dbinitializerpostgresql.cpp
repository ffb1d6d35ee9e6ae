#include "storage/dbinitializerpostgresql.h"

DbInitializerPostgreSql::DbInitializerPostgreSql(const QSqlDatabase &database, const QString &templateFile)
    : DbInitializer(database, templateFile)
{
}

QString DbInitializerPostgreSql::sqlType(const QString &type) const
{
    if (type == QLatin1String("qint64")) {
        return QStringLiteral("int8");
    }
    if (type == QLatin1String("QByteArray") || type == QLatin1String("QString")) {
        return QStringLiteral("BYTEA");
    }
    return DbInitializer::sqlType(type);
}

QString DbInitializerPostgreSql::buildCreateTableStatement(const TableDescription &tableDescription) const
{
    QStringList columns;
    for (const ColumnDescription &column : tableDescription.columns) {
        columns.append(buildColumnStatement(column));
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(tableDescription.name, columns.join(QLatin1String(", ")));
}

QString DbInitializerPostgreSql::buildColumnStatement(const ColumnDescription &columnDescription) const
{
    QString column = columnDescription.name + QLatin1Char(' ')
        + (columnDescription.isAutoIncrement ? QStringLiteral("SERIAL") : sqlType(columnDescription.type));
    if (columnDescription.isPrimaryKey) {
        column += QLatin1String(" PRIMARY KEY");
    } else if (columnDescription.isUnique) {
        column += QLatin1String(" UNIQUE");
    }
    if (!columnDescription.allowNull && !columnDescription.isPrimaryKey) {
        column += QLatin1String(" NOT NULL");
    }
    if (!columnDescription.refTable.isEmpty() && !columnDescription.refColumn.isEmpty()) {
        column += QStringLiteral(" REFERENCES %1Table(%2) ON DELETE CASCADE ON UPDATE CASCADE")
                      .arg(columnDescription.refTable, columnDescription.refColumn);
    }
    if (!columnDescription.defaultValue.isEmpty()) {
        const QString defaultValue = sqlValue(columnDescription.type, columnDescription.defaultValue);
        if (!defaultValue.isEmpty()) {
            column += QStringLiteral(" DEFAULT %1").arg(defaultValue);
        }
    }
    return column;
}

QString DbInitializerPostgreSql::buildInsertValuesStatement(const TableDescription &tableDescription,
                                                            const DataDescription &dataDescription) const
{
    QStringList columns;
    QStringList values;
    for (const QString &column : dataDescription.columns) {
        columns.append(column);
        QString value = dataDescription.data.value(column);
        // Text columns are binary here, and the binary input syntax reads a backslash as an escape.
        value.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        values.append(value);
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(tableDescription.name, columns.join(QLatin1Char(',')), values.join(QLatin1Char(',')));
}

QString DbInitializerPostgreSql::buildCreateRelationTableStatement(const QString &tableName,
                                                                   const RelationDescription &relation) const
{
    const QString cascade = QStringLiteral(" ON DELETE CASCADE ON UPDATE CASCADE");
    return QStringLiteral("CREATE TABLE %1 (").arg(tableName)
        + QStringLiteral("%1_%2 INTEGER REFERENCES %3(%4) %5, ")
              .arg(relation.firstTable, relation.firstColumn, relation.firstTableName, relation.firstColumn, cascade)
        + QStringLiteral("%1_%2 INTEGER REFERENCES %3(%4) %5, ")
              .arg(relation.secondTable, relation.secondColumn, relation.secondTableName, relation.secondColumn,
                   cascade)
        + QStringLiteral("PRIMARY KEY (%1_%2, %3_%4))")
              .arg(relation.firstTable, relation.firstColumn, relation.secondTable, relation.secondColumn);
}

QString DbInitializerPostgreSql::hasIndexQuery(const QString &tableName, const QString &indexName)
{
    return QStringLiteral("SELECT indexname FROM pg_catalog.pg_indexes")
        + QStringLiteral(" WHERE tablename ilike '%1'").arg(tableName)
        + QStringLiteral(" AND  indexname ilike '%1';").arg(indexName);
}

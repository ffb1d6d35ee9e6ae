#ifndef TALVORI_DBINITIALIZERPOSTGRESQL_H
#define TALVORI_DBINITIALIZERPOSTGRESQL_H

#include "storage/dbinitializer.h"

// Schema statements for PostgreSQL: serial ids, binary text columns, cascading references.
class DbInitializerPostgreSql : public DbInitializer
{
public:
    DbInitializerPostgreSql(const QSqlDatabase &database, const QString &templateFile);

    QString sqlType(const QString &type) const override;
    QString buildCreateTableStatement(const TableDescription &tableDescription) const override;
    QString buildColumnStatement(const ColumnDescription &columnDescription) const override;
    QString buildInsertValuesStatement(const TableDescription &tableDescription,
                                       const DataDescription &dataDescription) const override;
    QString buildCreateRelationTableStatement(const QString &tableName,
                                              const RelationDescription &relationDescription) const override;

protected:
    QString hasIndexQuery(const QString &tableName, const QString &indexName) override;
};

#endif

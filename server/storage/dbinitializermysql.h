#ifndef TALVORI_DBINITIALIZERMYSQL_H
#define TALVORI_DBINITIALIZERMYSQL_H

#include "storage/dbinitializer.h"

// Schema statements for MySQL and MariaDB: binary text columns, foreign keys and a fixed charset.
class DbInitializerMySql : public DbInitializer
{
public:
    DbInitializerMySql(const QSqlDatabase &database, const QString &templateFile);

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

#ifndef TALVORI_DBINITIALIZERMYSQL_H
#define TALVORI_DBINITIALIZERMYSQL_H

#include "storage/dbinitializer.h"

// Schema statements for MySQL and MariaDB: binary text columns, foreign keys and a fixed charset.
class DbInitializerMySql : public DbInitializer
{
public:
    using DbInitializer::DbInitializer;

    // Foreign keys after the columns, then the table's charset and collation.
    QString buildCreateTableStatement(const TableDescription &tableDescription) const override;
    QString buildColumnStatement(const ColumnDescription &columnDescription) const override;
    // Text is VARBINARY so that names compare byte by byte whatever the server's collation.
    QString sqlType(const QString &type) const override;

protected:
    // BIGINT, the type of the ids referred to, with cascading references.
    QString relationColumnStatement(const QString &table, const QString &column,
                                    const QString &tableName) const override;
    QString hasIndexQuery(const QString &tableName, const QString &indexName) override;
};

#endif

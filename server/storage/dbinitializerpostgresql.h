#ifndef TALVORI_DBINITIALIZERPOSTGRESQL_H
#define TALVORI_DBINITIALIZERPOSTGRESQL_H

#include "storage/dbinitializer.h"

// Schema statements for PostgreSQL: serial ids, binary text columns, cascading references.
class DbInitializerPostgreSql : public DbInitializer
{
public:
    using DbInitializer::DbInitializer;

    // int8 ids; text is stored as BYTEA so that it compares byte by byte, as on the other backends.
    QString sqlType(const QString &type) const override;
    // SERIAL for the auto-increment id; references are declared beside the column and cascade.
    QString buildColumnStatement(const ColumnDescription &columnDescription) const override;

protected:
    QString hasIndexQuery(const QString &tableName, const QString &indexName) override;
    // Relation rows go with the records they link.
    QString relationColumnStatement(const QString &table, const QString &column,
                                    const QString &tableName) const override;
};

#endif

#ifndef TALVORI_DBINITIALIZERSQLITE_H
#define TALVORI_DBINITIALIZERSQLITE_H

#include "storage/dbinitializer.h"

// Schema statements for SQLite: the row id as auto-increment key, booleans as 1 and 0.
class DbInitializerSqlite : public DbInitializer
{
public:
    using DbInitializer::DbInitializer;

    QString buildColumnStatement(const ColumnDescription &columnDescription) const override;

protected:
    QString hasIndexQuery(const QString &tableName, const QString &indexName) override;
    QString initialValue(const QString &value) const override;
};

#endif

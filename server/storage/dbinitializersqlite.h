#ifndef TALVORI_DBINITIALIZERSQLITE_H
#define TALVORI_DBINITIALIZERSQLITE_H

#include "storage/dbinitializer.h"

// Schema statements for SQLite.
class DbInitializerSqlite : public DbInitializer
{
public:
    DbInitializerSqlite(const QSqlDatabase &database, const QString &templateFile);

    QString buildCreateTableStatement(const TableDescription &tableDescription) const override;
    QString buildColumnStatement(const ColumnDescription &columnDescription) const override;
    QString buildInsertValuesStatement(const TableDescription &tableDescription,
                                       const DataDescription &dataDescription) const override;

protected:
    QString hasIndexQuery(const QString &tableName, const QString &indexName) override;
};

#endif

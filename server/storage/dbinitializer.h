#ifndef TALVORI_DBINITIALIZER_H
#define TALVORI_DBINITIALIZER_H

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>

class QDomElement;

// Brings a database up to the schema description without ever dropping anything: creates missing
// tables, adds missing columns and indexes, fills empty tables with their initial rows and creates
// missing relation tables. One subclass per database family writes that family's SQL.
class DbInitializer
{
public:
    struct ColumnDescription
    {
        QString name;
        QString type;
        bool allowNull = true;
        bool isAutoIncrement = false;
        bool isPrimaryKey = false;
        bool isUnique = false;
        QString refTable;
        QString refColumn;
        QString defaultValue;
    };

    struct IndexDescription
    {
        QString name;
        QStringList columns;
        bool isUnique = false;
    };

    struct DataDescription
    {
        // Column name to SQL value text ('important', NULL, true, ...).
        QHash<QString, QString> data;
        // The columns in the order the description names them, so statements come out the same
        // on every run.
        QStringList columns;
    };

    struct TableDescription
    {
        QString name;
        QList<ColumnDescription> columns;
        QList<IndexDescription> indexes;
        QList<DataDescription> data;
    };

    struct RelationDescription
    {
        QString firstTable;
        QString firstTableName;
        QString firstColumn;
        QString secondTable;
        QString secondTableName;
        QString secondColumn;
    };

    // The initializer for the connection's driver, or null (with an error log line) for a driver
    // no subclass speaks.
    static std::shared_ptr<DbInitializer> createInstance(const QSqlDatabase &database, const QString &templateFile);

    virtual ~DbInitializer();

    bool run();
    QString errorMsg() const { return m_errorMsg; }

    // Public so that the statement text of each dialect can be checked on its own.
    virtual QString sqlType(const QString &type) const;
    virtual QString sqlValue(const QString &type, const QString &value) const;
    virtual QString buildCreateTableStatement(const TableDescription &tableDescription) const = 0;
    virtual QString buildColumnStatement(const ColumnDescription &columnDescription) const = 0;
    virtual QString buildAddColumnStatement(const TableDescription &tableDescription,
                                            const ColumnDescription &columnDescription) const;
    virtual QString buildCreateIndexStatement(const TableDescription &tableDescription,
                                              const IndexDescription &indexDescription) const;
    virtual QString buildInsertValuesStatement(const TableDescription &tableDescription,
                                               const DataDescription &dataDescription) const = 0;
    virtual QString buildCreateRelationTableStatement(const QString &tableName,
                                                      const RelationDescription &relationDescription) const;

    static TableDescription parseTableDescription(const QDomElement &element);
    static RelationDescription parseRelationDescription(const QDomElement &element);

protected:
    DbInitializer(const QSqlDatabase &database, const QString &templateFile);

    bool hasIndex(const QString &tableName, const QString &indexName);
    // A statement that returns a row when the index exists.
    virtual QString hasIndexQuery(const QString &tableName, const QString &indexName);

    QSqlDatabase m_database;

private:
    bool checkTable(const QDomElement &element);
    bool checkRelation(const QDomElement &element);
    bool hasTable(const QString &tableName) const;
    // The table's name as the database lists it, matched without regard to case; empty if none.
    QString storedTableName(const QString &tableName) const;
    bool execute(const QString &statement, QString *error) const;

    QString m_templateFile;
    QString m_errorMsg;
};

#endif

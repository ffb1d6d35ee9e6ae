#ifndef TALVORI_DBINITIALIZER_H
#define TALVORI_DBINITIALIZER_H

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>

class QDomDocument;
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
    // "CREATE TABLE name (column statements)"; dialects that add table options override it.
    virtual QString buildCreateTableStatement(const TableDescription &tableDescription) const;
    virtual QString buildColumnStatement(const ColumnDescription &columnDescription) const = 0;
    virtual QString buildAddColumnStatement(const TableDescription &tableDescription,
                                            const ColumnDescription &columnDescription) const;
    virtual QString buildCreateIndexStatement(const TableDescription &tableDescription,
                                              const IndexDescription &indexDescription) const;
    // "INSERT INTO table (columns) VALUES (values)", each value as initialValue() writes it.
    virtual QString buildInsertValuesStatement(const TableDescription &tableDescription,
                                               const DataDescription &dataDescription) const;
    virtual QString buildCreateRelationTableStatement(const QString &tableName,
                                                      const RelationDescription &relationDescription) const;

    static TableDescription parseTableDescription(const QDomElement &element);
    static RelationDescription parseRelationDescription(const QDomElement &element);

    // The description of one table of the template (by its SQL name, such as "CollectionTable").
    // False, with errorMsg(), when the template cannot be read or has no such table.
    bool tableDescription(const QString &tableName, TableDescription *table);

    // The table's name as the database lists it, matched without regard to case; empty if none.
    static QString storedTableName(const QSqlDatabase &database, const QString &tableName);
    // True when the table exists and has the column (names matched without regard to case).
    static bool hasColumn(const QSqlDatabase &database, const QString &tableName, const QString &columnName);
    // True when the table has an index of that full name ("<table>_<index>"). A failing look-up
    // counts as missing and leaves errorMsg().
    bool hasIndex(const QString &tableName, const QString &indexName);

    // Public so that dialects inherit it; the class is abstract all the same.
    DbInitializer(const QSqlDatabase &database, const QString &templateFile);

protected:
    // A statement that returns a row when the index exists.
    virtual QString hasIndexQuery(const QString &tableName, const QString &indexName);
    // An initial row's value text (SQL-quoted, as the description writes it) in this dialect. By
    // default each backslash is doubled: MySQL reads one in a string literal as an escape, and so
    // does PostgreSQL's binary input syntax.
    virtual QString initialValue(const QString &value) const;
    // One side of a relation table: "<table>_<column> INTEGER REFERENCES <tableName>(<column>), ".
    virtual QString relationColumnStatement(const QString &table, const QString &column,
                                            const QString &tableName) const;

    // The column statements of a table, in description order.
    QStringList columnStatements(const TableDescription &tableDescription) const;
    // " DEFAULT <value>" for a column with a default the dialect can write, empty otherwise.
    QString defaultClause(const ColumnDescription &columnDescription) const;
    // " PRIMARY KEY" for the primary key, otherwise " UNIQUE" for a unique column, else empty.
    static QString keyClause(const ColumnDescription &columnDescription);

    QSqlDatabase m_database;

private:
    bool checkTable(const QDomElement &element);
    bool checkRelation(const QDomElement &element);
    bool hasTable(const QString &tableName) const;
    // Opens and parses the template into document; false, with errorMsg(), when that fails.
    bool loadTemplate(QDomDocument *document);
    bool execute(const QString &statement, QString *error) const;

    QString m_templateFile;
    QString m_errorMsg;
};

#endif

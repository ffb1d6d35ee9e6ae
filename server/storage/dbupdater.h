#ifndef TALVORI_DBUPDATER_H
#define TALVORI_DBUPDATER_H

#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>

class QDomElement;
class QSqlQuery;

// Makes the schema changes the initializer cannot: renames, drops, type changes and data
// migrations. Reads an update description (":dbupdate.xml") and applies, in ascending order, each
// update whose version is above the one stored in SchemaVersionTable, each in its own transaction
// together with raising the stored version. An update counts only when every one of its steps
// that applies to the connection's database family succeeded; a mandatory update that fails ends
// the run with false. Runs after the initializer, on the connection it is given.
class DbUpdater
{
public:
    DbUpdater(const QSqlDatabase &database, const QString &fileName);

    bool run();

private:
    // One thing an update does, in document order.
    struct Step
    {
        enum Kind {
            // text: one SQL statement.
            RawSql,
            // text: a query that must return no row; message says why when it does.
            Check,
            // table: rebuilt as the schema describes it, keeping its rows (for SQLite, which
            // cannot change a column's type, default or nullability in place).
            RebuildTable,
            // The initializer brings the tables up to the schema description (after renames).
            CompleteSchema,
        };
        Kind kind = RawSql;
        QString text;
        QString table;
        QString message;
        // Guards: the step runs only while the table exists ("ifTable"), the column exists
        // ("ifColumn", "Table.column") or the index exists ("ifIndex", "Table.index"), so an update
        // that was half applied (statements that commit on their own) can run again safely.
        QString ifTable;
        QString ifColumn;
        QString ifIndex;
    };

    struct UpdateSet
    {
        int version = -1;
        bool abortOnFailure = false;
        // Only those that apply to the connection's database family.
        QList<Step> steps;
    };

    bool readVersion(int *version) const;
    bool parseUpdateSets(int currentVersion, QMap<int, UpdateSet> &updates);
    // Appends the step the element describes (nothing for an element that is no step).
    bool parseStep(const QDomElement &element, QList<Step> *steps) const;
    bool updateApplicable(const QString &backends) const;
    static QString buildRawSqlStatement(const QDomElement &element);

    // Runs the update's steps and raises the version in one transaction; false when anything
    // failed (it is rolled back then).
    bool applyUpdate(const UpdateSet &update);
    bool guardsHold(const Step &step);
    bool runStep(const Step &step, const UpdateSet &update);
    bool execute(const QString &statement, const UpdateSet &update);
    void reportQueryError(const QSqlQuery &query, const QString &statement, const UpdateSet &update) const;
    bool check(const Step &step, const UpdateSet &update);
    bool rebuildTable(const QString &tableName, const UpdateSet &update);
    bool completeSchema();
    bool writeVersion(int version, const UpdateSet &update);

    QSqlDatabase m_database;
    QString m_fileName;
    // The schema description the tables are completed and rebuilt from (the root's "schema").
    QString m_schemaFile;
    // "mysql", "psql", "sqlite", or empty when no statement applies to the driver.
    QString m_family;
};

#endif

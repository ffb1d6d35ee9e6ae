#ifndef TALVORI_QUERYBUILDER_H
#define TALVORI_QUERYBUILDER_H

#include "storage/query.h"
#include "storage/statementcache.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

// Builds one SELECT, INSERT, UPDATE or DELETE statement from structured pieces, writes every
// compared or inserted value as a numbered placeholder (":0", ":1", ...) so no value is ever part of
// the statement text, and executes it on the database connection of the thread that created the
// builder. The three SQL dialects differ in how an INSERT returns the new id and how an UPDATE names
// joined tables; the builder hides that. On the thread's own connection the prepared statement comes
// from, and goes back to, the data store's StatementCache: the same text is prepared once.
class QueryBuilder
{
public:
    enum QueryType { SelectStatement, InsertStatement, UpdateStatement, DeleteStatement };
    enum JoinType { InnerJoin, LeftJoin };
    enum ConditionType { WhereCondition, HavingCondition };
    enum DatabaseType { Unknown, Sqlite, MySQL, PostgreSQL };

    explicit QueryBuilder(const QString &table, QueryType type = SelectStatement);
    // A builder on a given connection instead of the thread's data store.
    QueryBuilder(const QSqlDatabase &database, const QString &table, QueryType type = SelectStatement);
    // A copy carries every piece of the statement but gets a query object of its own: results of an
    // executed statement are not shared.
    QueryBuilder(const QueryBuilder &other);
    QueryBuilder &operator=(const QueryBuilder &other);
    // Gives the statement back to the cache; the rows of query() are gone with the builder.
    ~QueryBuilder();

    // Statement text follows this type; it is taken from the connection's driver at construction.
    void setDatabaseType(DatabaseType type) { m_databaseType = type; }
    DatabaseType databaseType() const { return m_databaseType; }

    void addColumn(const QString &col);
    void addColumns(const QStringList &cols);

    // Joining a table twice keeps one join: an inner join wins over a left join and the second
    // condition is added to the first.
    void addJoin(JoinType joinType, const QString &table, const Query::Condition &condition);
    void addJoin(JoinType joinType, const QString &table, const QString &col1, const QString &col2);

    void addValueCondition(const QString &column, Query::CompareOperator op, const QVariant &value,
                           ConditionType type = WhereCondition);
    void addColumnCondition(const QString &column, Query::CompareOperator op, const QString &column2,
                            ConditionType type = WhereCondition);
    void addCondition(const Query::Condition &condition, ConditionType type = WhereCondition);
    void setSubQueryMode(Query::LogicOperator op, ConditionType type = WhereCondition);

    void addSortColumn(const QString &column, Query::SortOrder order = Query::Ascending);
    void addGroupColumn(const QString &column);
    void addGroupColumns(const QStringList &columns);

    // INSERT and UPDATE values; a second value for the same column is appended, not replaced.
    void setColumnValue(const QString &column, const QVariant &value);
    // An UPDATE assignment the database computes from the row itself ("rev + 1"), written after
    // the values. The expression goes into the statement as it is: it must never carry a value
    // that came from a client.
    void setColumnExpression(const QString &column, const QString &expression);

    void setDistinct(bool distinct) { m_distinct = distinct; }
    // Turns a selection into "INSERT INTO table (columns) SELECT ...": the selected columns fill
    // columns in order, and the database copies the rows without their passing through here. With
    // returned columns, each new row's are the statement's result (RETURNING, which the supported
    // versions of every backend have), in no particular order.
    void setInsertInto(const QString &table, const QStringList &columns, const QStringList &returned = QStringList());
    // 0 or less means no limit.
    void setLimit(int limit) { m_limit = limit; }
    // A SELECT that locks the rows it reads until the transaction ends and reads their latest
    // committed values, for a read whose result decides a write (MariaDB, PostgreSQL; on SQLite
    // the write lock a transaction holds already keeps every other writer out).
    void setForUpdate(bool forUpdate) { m_forUpdate = forUpdate; }

    // The statement text for the current pieces, with its values in placeholder order in
    // boundValues(). exec() runs exactly this text.
    QString buildStatement();
    QList<QVariant> boundValues() const { return m_bindValues; }

    // Builds, prepares, binds and executes; false after printing the statement and the driver's
    // error. On success the query stands before its first row.
    bool exec();
    QSqlQuery &query() { return m_query; }

    // The id of the row the last INSERT created, or -1.
    qint64 insertId();

    static DatabaseType qsqlDriverNameToDatabaseType(const QString &driverName);

    // The form in which a value is bound on a database of the type. Every text column is binary on
    // PostgreSQL, and the driver would hand text to the binary type's input syntax, which reads
    // backslashes as escapes; text is therefore bound there as its UTF-8 bytes.
    static QVariant bindableValue(const QVariant &value, DatabaseType type);

private:
    // Appends the text of the condition, its values bound in order.
    void appendCondition(QString &text, const Query::Condition &condition);
    // Binds the value to the next placeholder and appends that.
    void appendBoundValue(QString &text, const QVariant &value);
    // ":index"
    static QString placeholder(int index);
    Query::Condition &rootCondition(ConditionType type);
    // Gives the statement of the last exec() back to the cache, if it came from there.
    void releaseStatement();

    QString m_table;
    DatabaseType m_databaseType = Unknown;
    QHash<int, Query::Condition> m_rootCondition;
    QSqlDatabase m_database;
    QSqlQuery m_query;
    // The cache of the thread's data store when the builder runs on its connection, else null.
    StatementCache *m_statementCache = nullptr;
    StatementCache::Lease m_lease;
    QueryType m_type;
    QStringList m_columns;
    QList<QVariant> m_bindValues;
    QList<QPair<QString, Query::SortOrder>> m_sortColumns;
    QStringList m_groupColumns;
    QList<QPair<QString, QVariant>> m_columnValues;
    QList<QPair<QString, QString>> m_columnExpressions;
    QString m_insertTable;
    QStringList m_insertColumns;
    QStringList m_returnedColumns;
    QStringList m_joinedTables;
    QMap<QString, QPair<JoinType, Query::Condition>> m_joins;
    int m_limit = -1;
    bool m_distinct = false;
    bool m_forUpdate = false;
};

#endif

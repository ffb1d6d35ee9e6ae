#include "storage/querybuilder.h"

#include "common/log.h"
#include "storage/datastore.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

QueryBuilder::QueryBuilder(const QString &table, QueryType type)
    : QueryBuilder(DataStore::self()->database(), table, type)
{
    m_statementCache = &DataStore::self()->statementCache();
}

QueryBuilder::QueryBuilder(const QSqlDatabase &database, const QString &table, QueryType type)
    : m_table(table)
    , m_databaseType(qsqlDriverNameToDatabaseType(database.driverName()))
    , m_database(database)
    , m_query(database)
    , m_type(type)
{
}

QueryBuilder::QueryBuilder(const QueryBuilder &other)
    : m_database(other.m_database)
    , m_query(other.m_database)
{
    *this = other;
}

QueryBuilder::~QueryBuilder()
{
    releaseStatement();
}

void QueryBuilder::releaseStatement()
{
    if (m_statementCache)
        m_statementCache->release(m_lease, m_query);
}

QueryBuilder &QueryBuilder::operator=(const QueryBuilder &other)
{
    if (this == &other) {
        return *this;
    }
    m_table = other.m_table;
    m_databaseType = other.m_databaseType;
    m_rootCondition = other.m_rootCondition;
    if (m_database.connectionName() != other.m_database.connectionName()) {
        releaseStatement();
        m_database = other.m_database;
        m_query = QSqlQuery(m_database);
    }
    m_statementCache = other.m_statementCache;
    m_type = other.m_type;
    m_columns = other.m_columns;
    m_bindValues = other.m_bindValues;
    m_sortColumns = other.m_sortColumns;
    m_groupColumns = other.m_groupColumns;
    m_columnValues = other.m_columnValues;
    m_columnExpressions = other.m_columnExpressions;
    m_insertTable = other.m_insertTable;
    m_insertColumns = other.m_insertColumns;
    m_returnedColumns = other.m_returnedColumns;
    m_joinedTables = other.m_joinedTables;
    m_joins = other.m_joins;
    m_limit = other.m_limit;
    m_distinct = other.m_distinct;
    m_forUpdate = other.m_forUpdate;
    return *this;
}

QueryBuilder::DatabaseType QueryBuilder::qsqlDriverNameToDatabaseType(const QString &driverName)
{
    if (driverName.startsWith(QLatin1String("QMYSQL"))) {
        return MySQL;
    }
    if (driverName == QLatin1String("QPSQL")) {
        return PostgreSQL;
    }
    if (driverName.startsWith(QLatin1String("QSQLITE"))) {
        return Sqlite;
    }
    return Unknown;
}

void QueryBuilder::addColumn(const QString &col)
{
    m_columns.append(col);
}

void QueryBuilder::addColumns(const QStringList &cols)
{
    m_columns += cols;
}

void QueryBuilder::addJoin(JoinType joinType, const QString &table, const Query::Condition &condition)
{
    auto it = m_joins.find(table);
    if (it == m_joins.end()) {
        m_joins.insert(table, qMakePair(joinType, condition));
        m_joinedTables.append(table);
        return;
    }
    it->first = qMin(it->first, joinType);
    it->second.addCondition(condition);
}

void QueryBuilder::addJoin(JoinType joinType, const QString &table, const QString &col1, const QString &col2)
{
    Query::Condition condition;
    condition.addColumnCondition(col1, Query::Equals, col2);
    addJoin(joinType, table, condition);
}

Query::Condition &QueryBuilder::rootCondition(ConditionType type)
{
    auto it = m_rootCondition.find(type);
    if (it == m_rootCondition.end()) {
        it = m_rootCondition.insert(type, Query::Condition(Query::And));
    }
    return *it;
}

void QueryBuilder::addValueCondition(const QString &column, Query::CompareOperator op, const QVariant &value,
                                     ConditionType type)
{
    rootCondition(type).addValueCondition(column, op, value);
}

void QueryBuilder::addColumnCondition(const QString &column, Query::CompareOperator op, const QString &column2,
                                      ConditionType type)
{
    rootCondition(type).addColumnCondition(column, op, column2);
}

void QueryBuilder::addCondition(const Query::Condition &condition, ConditionType type)
{
    rootCondition(type).addCondition(condition);
}

void QueryBuilder::setSubQueryMode(Query::LogicOperator op, ConditionType type)
{
    rootCondition(type).setSubQueryMode(op);
}

void QueryBuilder::addSortColumn(const QString &column, Query::SortOrder order)
{
    m_sortColumns.append(qMakePair(column, order));
}

void QueryBuilder::addGroupColumn(const QString &column)
{
    m_groupColumns.append(column);
}

void QueryBuilder::addGroupColumns(const QStringList &columns)
{
    m_groupColumns += columns;
}

void QueryBuilder::setColumnValue(const QString &column, const QVariant &value)
{
    m_columnValues.append(qMakePair(column, value));
}

void QueryBuilder::setColumnExpression(const QString &column, const QString &expression)
{
    m_columnExpressions.append(qMakePair(column, expression));
}

void QueryBuilder::setInsertInto(const QString &table, const QStringList &columns, const QStringList &returned)
{
    m_insertTable = table;
    m_insertColumns = columns;
    m_returnedColumns = returned;
}

QString QueryBuilder::placeholder(int index)
{
    // The names of the first placeholders are made once: every statement needs them, twice.
    static const QStringList names = [] {
        QStringList list;
        for (int i = 0; i < 64; ++i)
            list.append(QLatin1Char(':') + QString::number(i));
        return list;
    }();
    return index < names.size() ? names.at(index) : QLatin1Char(':') + QString::number(index);
}

void QueryBuilder::appendBoundValue(QString &text, const QVariant &value)
{
    m_bindValues.append(value);
    text += placeholder(int(m_bindValues.size()) - 1);
}

namespace {

void appendJoined(QString &text, const QStringList &parts, QLatin1String separator)
{
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += separator;
        text += parts.at(i);
    }
}

} // namespace

void QueryBuilder::appendCondition(QString &text, const Query::Condition &condition)
{
    if (!condition.isEmpty()) {
        const QString separator = Query::logicOperatorToString(condition.combineOperator());
        text += QLatin1String("( ");
        bool first = true;
        for (const Query::Condition &sub : condition.subConditions()) {
            if (!first)
                text += separator;
            first = false;
            appendCondition(text, sub);
        }
        text += QLatin1String(" )");
        return;
    }

    text += condition.column();
    text += Query::compareOperatorToString(condition.compareOperator());
    if (!condition.comparedColumn().isEmpty()) {
        text += condition.comparedColumn();
        return;
    }
    const QVariant &value = condition.comparedValue();
    if (!value.isValid()) {
        text += QLatin1String("NULL");
        return;
    }
    // Only real lists take the parenthesised form, so a single string compares as itself.
    const int typeId = value.typeId();
    if (typeId == QMetaType::QStringList || typeId == QMetaType::QVariantList) {
        text += QLatin1String("( ");
        bool first = true;
        const auto appendEntry = [&](const QVariant &entry) {
            if (!first)
                text += QLatin1String(", ");
            first = false;
            appendBoundValue(text, entry);
        };
        if (typeId == QMetaType::QStringList) {
            for (const QString &entry : value.toStringList())
                appendEntry(entry);
        } else {
            for (const QVariant &entry : value.toList())
                appendEntry(entry);
        }
        text += QLatin1String(" )");
        return;
    }
    appendBoundValue(text, value);
}

QString QueryBuilder::buildStatement()
{
    // Each build numbers its placeholders afresh, so building twice gives the same text and values.
    m_bindValues.clear();

    static const Query::Condition noCondition(Query::And);
    const auto root = [this](ConditionType type) -> const Query::Condition & {
        const auto it = m_rootCondition.constFind(type);
        return it == m_rootCondition.constEnd() ? noCondition : *it;
    };
    // An UPDATE takes its joins' conditions into its WHERE, which is then a copy of its own.
    Query::Condition joinedWhere;
    const Query::Condition *whereCondition = &root(WhereCondition);

    QString statement;
    statement.reserve(256);
    switch (m_type) {
    case SelectStatement:
        if (!m_insertTable.isEmpty()) {
            statement += QLatin1String("INSERT INTO ") + m_insertTable + QLatin1String(" (");
            appendJoined(statement, m_insertColumns, QLatin1String(", "));
            statement += QLatin1String(") ");
        }
        statement += QLatin1String("SELECT ");
        if (m_distinct) {
            statement += QLatin1String("DISTINCT ");
        }
        appendJoined(statement, m_columns, QLatin1String(", "));
        statement += QLatin1String(" FROM ");
        statement += m_table;
        for (const QString &joinedTable : std::as_const(m_joinedTables)) {
            const QPair<JoinType, Query::Condition> &join = *m_joins.constFind(joinedTable);
            statement += join.first == InnerJoin ? QLatin1String(" INNER JOIN ") : QLatin1String(" LEFT JOIN ");
            statement += joinedTable;
            statement += QLatin1String(" ON ");
            appendCondition(statement, join.second);
        }
        break;
    case InsertStatement:
        statement += QLatin1String("INSERT INTO ");
        statement += m_table;
        if (m_columnValues.isEmpty() && m_databaseType != MySQL) {
            // A row of nothing but defaults; only MySQL accepts an empty column list for that.
            statement += QLatin1String(" DEFAULT VALUES");
        } else {
            statement += QLatin1String(" (");
            for (qsizetype i = 0; i < m_columnValues.size(); ++i) {
                if (i > 0)
                    statement += QLatin1String(", ");
                statement += m_columnValues.at(i).first;
            }
            statement += QLatin1String(") VALUES (");
            for (qsizetype i = 0; i < m_columnValues.size(); ++i) {
                if (i > 0)
                    statement += QLatin1String(", ");
                appendBoundValue(statement, m_columnValues.at(i).second);
            }
            statement += QLatin1Char(')');
        }
        if (m_databaseType == PostgreSQL) {
            statement += QLatin1String(" RETURNING id");
        }
        break;
    case UpdateStatement: {
        if (!m_joinedTables.isEmpty()) {
            joinedWhere = *whereCondition;
            for (const QString &joinedTable : std::as_const(m_joinedTables)) {
                joinedWhere.addCondition(m_joins.constFind(joinedTable)->second);
            }
            whereCondition = &joinedWhere;
        }
        statement += QLatin1String("UPDATE ");
        statement += m_table;
        if (m_databaseType == MySQL && !m_joinedTables.isEmpty()) {
            statement += QLatin1String(", ");
            appendJoined(statement, m_joinedTables, QLatin1String(", "));
        }
        statement += QLatin1String(" SET ");
        bool first = true;
        for (const auto &columnValue : std::as_const(m_columnValues)) {
            if (!first)
                statement += QLatin1String(", ");
            first = false;
            statement += columnValue.first;
            statement += QLatin1String(" = ");
            appendBoundValue(statement, columnValue.second);
        }
        for (const auto &columnExpression : std::as_const(m_columnExpressions)) {
            if (!first)
                statement += QLatin1String(", ");
            first = false;
            statement += columnExpression.first;
            statement += QLatin1String(" = ");
            statement += columnExpression.second;
        }
        if (m_databaseType == PostgreSQL && !m_joinedTables.isEmpty()) {
            statement += QLatin1String(" FROM ");
            appendJoined(statement, m_joinedTables, QLatin1String(" JOIN "));
        }
        break;
    }
    case DeleteStatement:
        statement += QLatin1String("DELETE FROM ");
        statement += m_table;
        break;
    }

    if (!whereCondition->isEmpty()) {
        statement += QLatin1String(" WHERE ");
        appendCondition(statement, *whereCondition);
    }
    if (!m_groupColumns.isEmpty()) {
        statement += QLatin1String(" GROUP BY ");
        appendJoined(statement, m_groupColumns, QLatin1String(", "));
    }
    const Query::Condition &having = root(HavingCondition);
    if (!having.isEmpty()) {
        statement += QLatin1String(" HAVING ");
        appendCondition(statement, having);
    }
    if (!m_sortColumns.isEmpty()) {
        statement += QLatin1String(" ORDER BY ");
        for (qsizetype i = 0; i < m_sortColumns.size(); ++i) {
            if (i > 0)
                statement += QLatin1String(", ");
            statement += m_sortColumns.at(i).first;
            statement += Query::sortOrderToString(m_sortColumns.at(i).second);
        }
    }
    if (m_limit > 0) {
        statement += QLatin1String(" LIMIT ");
        statement += QString::number(m_limit);
    }
    if (m_forUpdate && m_type == SelectStatement && m_databaseType != Sqlite) {
        statement += QLatin1String(" FOR UPDATE");
    }
    if (m_type == SelectStatement && !m_insertTable.isEmpty() && !m_returnedColumns.isEmpty()) {
        statement += QLatin1String(" RETURNING ");
        appendJoined(statement, m_returnedColumns, QLatin1String(", "));
    }
    return statement;
}

bool QueryBuilder::exec()
{
    const QString statement = buildStatement();
    // A caller may have asked for a forward-only walk on the query before it was executed.
    const bool forwardOnly = m_query.isForwardOnly();
    releaseStatement();
    bool prepared = false;
    if (m_statementCache) {
        m_lease = m_statementCache->acquire(m_database, statement, m_query);
        prepared = m_lease.active;
    } else {
        m_query = QSqlQuery(m_database);
        prepared = m_query.prepare(statement);
    }
    if (!prepared) {
        logDebug() << "Error during executing query" << statement << ": " << m_query.lastError().text();
        return false;
    }
    m_query.setForwardOnly(forwardOnly);
    for (int i = 0; i < m_bindValues.size(); ++i) {
        m_query.bindValue(placeholder(i), bindableValue(m_bindValues.at(i), m_databaseType));
    }
    if (!m_query.exec()) {
        logDebug() << "Error during executing query" << statement << ": " << m_query.lastError().text();
        DataStore::self()->noteQueryError(m_query.lastError());
        // A statement that failed is not trusted again (a schema it was prepared for may be gone).
        m_lease.active = false;
        return false;
    }
    return true;
}

QVariant QueryBuilder::bindableValue(const QVariant &value, DatabaseType type)
{
    if (type == PostgreSQL && value.typeId() == QMetaType::QString) {
        return value.isNull() ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(value.toString().toUtf8());
    }
    return value;
}

qint64 QueryBuilder::insertId()
{
    if (m_databaseType == PostgreSQL) {
        if (!m_query.first()) {
            return -1;
        }
        bool ok = false;
        const qint64 id = m_query.record().value(QStringLiteral("id")).toLongLong(&ok);
        return ok ? id : -1;
    }
    const QVariant lastId = m_query.lastInsertId();
    if (!lastId.isValid()) {
        return -1;
    }
    bool ok = false;
    const qint64 id = lastId.toLongLong(&ok);
    return ok ? id : -1;
}

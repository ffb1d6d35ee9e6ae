#include "storage/querybuilder.h"

#include "common/log.h"
#include "storage/datastore.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

QueryBuilder::QueryBuilder(const QString &table, QueryType type)
    : QueryBuilder(DataStore::self()->database(), table, type)
{
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

QueryBuilder &QueryBuilder::operator=(const QueryBuilder &other)
{
    if (this == &other) {
        return *this;
    }
    m_table = other.m_table;
    m_databaseType = other.m_databaseType;
    m_rootCondition = other.m_rootCondition;
    if (m_database.connectionName() != other.m_database.connectionName()) {
        m_database = other.m_database;
        m_query = QSqlQuery(m_database);
    }
    m_type = other.m_type;
    m_columns = other.m_columns;
    m_bindValues = other.m_bindValues;
    m_sortColumns = other.m_sortColumns;
    m_groupColumns = other.m_groupColumns;
    m_columnValues = other.m_columnValues;
    m_joinedTables = other.m_joinedTables;
    m_joins = other.m_joins;
    m_limit = other.m_limit;
    m_distinct = other.m_distinct;
    m_forUpdate = other.m_forUpdate;
    m_insertTable = other.m_insertTable;
    m_insertColumns = other.m_insertColumns;
    m_returnedColumns = other.m_returnedColumns;
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

QString QueryBuilder::bindValue(const QVariant &value)
{
    m_bindValues.append(value);
    return QLatin1Char(':') + QString::number(m_bindValues.size() - 1);
}

QString QueryBuilder::buildWhereCondition(const Query::Condition &condition)
{
    if (!condition.isEmpty()) {
        QStringList parts;
        for (const Query::Condition &sub : condition.subConditions()) {
            parts.append(buildWhereCondition(sub));
        }
        return QLatin1String("( ") + parts.join(Query::logicOperatorToString(condition.combineOperator()))
            + QLatin1String(" )");
    }

    QString text = condition.column() + Query::compareOperatorToString(condition.compareOperator());
    if (!condition.comparedColumn().isEmpty()) {
        return text + condition.comparedColumn();
    }
    const QVariant value = condition.comparedValue();
    if (!value.isValid()) {
        return text + QLatin1String("NULL");
    }
    // Only real lists take the parenthesised form, so a single string compares as itself.
    const int typeId = value.typeId();
    if (typeId == QMetaType::QStringList || typeId == QMetaType::QVariantList) {
        QStringList placeholders;
        if (typeId == QMetaType::QStringList) {
            for (const QString &entry : value.toStringList()) {
                placeholders.append(bindValue(entry));
            }
        } else {
            for (const QVariant &entry : value.toList()) {
                placeholders.append(bindValue(entry));
            }
        }
        return text + QLatin1String("( ") + placeholders.join(QLatin1String(", ")) + QLatin1String(" )");
    }
    return text + bindValue(value);
}

QString QueryBuilder::buildStatement()
{
    // Each build numbers its placeholders afresh, so building twice gives the same text and values.
    m_bindValues.clear();

    Query::Condition whereCondition = m_rootCondition.value(WhereCondition, Query::Condition(Query::And));
    QString statement;

    switch (m_type) {
    case SelectStatement:
        statement = QLatin1String("SELECT ");
        if (m_distinct) {
            statement += QLatin1String("DISTINCT ");
        }
        statement += m_columns.join(QLatin1String(", ")) + QLatin1String(" FROM ") + m_table;
        for (const QString &joinedTable : std::as_const(m_joinedTables)) {
            const QPair<JoinType, Query::Condition> &join = m_joins[joinedTable];
            statement += join.first == InnerJoin ? QLatin1String(" INNER JOIN ") : QLatin1String(" LEFT JOIN ");
            statement += joinedTable + QLatin1String(" ON ") + buildWhereCondition(join.second);
        }
        break;
    case InsertStatement: {
        QStringList columns;
        QStringList placeholders;
        for (const auto &columnValue : std::as_const(m_columnValues)) {
            columns.append(columnValue.first);
            placeholders.append(bindValue(columnValue.second));
        }
        if (columns.isEmpty() && m_databaseType != MySQL) {
            // A row of nothing but defaults; only MySQL accepts an empty column list for that.
            statement = QLatin1String("INSERT INTO ") + m_table + QLatin1String(" DEFAULT VALUES");
        } else {
            statement = QLatin1String("INSERT INTO ") + m_table + QLatin1String(" (")
                + columns.join(QLatin1String(", ")) + QLatin1String(") VALUES (")
                + placeholders.join(QLatin1String(", ")) + QLatin1Char(')');
        }
        if (m_databaseType == PostgreSQL) {
            statement += QLatin1String(" RETURNING id");
        }
        break;
    }
    case UpdateStatement: {
        for (const QString &joinedTable : std::as_const(m_joinedTables)) {
            whereCondition.addCondition(m_joins[joinedTable].second);
        }
        statement = QLatin1String("UPDATE ") + m_table;
        if (m_databaseType == MySQL && !m_joinedTables.isEmpty()) {
            statement += QLatin1String(", ") + m_joinedTables.join(QLatin1String(", "));
        }
        QStringList assignments;
        for (const auto &columnValue : std::as_const(m_columnValues)) {
            assignments.append(columnValue.first + QLatin1String(" = ") + bindValue(columnValue.second));
        }
        statement += QLatin1String(" SET ") + assignments.join(QLatin1String(", "));
        if (m_databaseType == PostgreSQL && !m_joinedTables.isEmpty()) {
            statement += QLatin1String(" FROM ") + m_joinedTables.join(QLatin1String(" JOIN "));
        }
        break;
    }
    case DeleteStatement:
        statement = QLatin1String("DELETE FROM ") + m_table;
        break;
    }

    if (!whereCondition.isEmpty()) {
        statement += QLatin1String(" WHERE ") + buildWhereCondition(whereCondition);
    }
    if (!m_groupColumns.isEmpty()) {
        statement += QLatin1String(" GROUP BY ") + m_groupColumns.join(QLatin1String(", "));
    }
    const Query::Condition having = m_rootCondition.value(HavingCondition, Query::Condition(Query::And));
    if (!having.isEmpty()) {
        statement += QLatin1String(" HAVING ") + buildWhereCondition(having);
    }
    if (!m_sortColumns.isEmpty()) {
        QStringList orders;
        for (const auto &sortColumn : std::as_const(m_sortColumns)) {
            orders.append(sortColumn.first + Query::sortOrderToString(sortColumn.second));
        }
        statement += QLatin1String(" ORDER BY ") + orders.join(QLatin1String(", "));
    }
    if (m_limit > 0) {
        statement += QLatin1String(" LIMIT ") + QString::number(m_limit);
    }
    if (m_forUpdate && m_type == SelectStatement && m_databaseType != Sqlite) {
        statement += QLatin1String(" FOR UPDATE");
    }
    if (m_type == SelectStatement && !m_insertTable.isEmpty()) {
        statement = QLatin1String("INSERT INTO ") + m_insertTable + QLatin1String(" (")
            + m_insertColumns.join(QLatin1String(", ")) + QLatin1String(") ") + statement;
        if (!m_returnedColumns.isEmpty()) {
            statement += QLatin1String(" RETURNING ") + m_returnedColumns.join(QLatin1String(", "));
        }
    }
    return statement;
}

void QueryBuilder::setInsertInto(const QString &table, const QStringList &columns, const QStringList &returned)
{
    m_insertTable = table;
    m_insertColumns = columns;
    m_returnedColumns = returned;
}

bool QueryBuilder::exec()
{
    const QString statement = buildStatement();
    if (!m_query.prepare(statement)) {
        logDebug() << "Error during executing query" << statement << ": " << m_query.lastError().text();
        return false;
    }
    for (int i = 0; i < m_bindValues.size(); ++i) {
        m_query.bindValue(QLatin1Char(':') + QString::number(i), bindableValue(m_bindValues.at(i), m_databaseType));
    }
    if (!m_query.exec()) {
        logDebug() << "Error during executing query" << statement << ": " << m_query.lastError().text();
        DataStore::self()->noteQueryError(m_query.lastError());
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

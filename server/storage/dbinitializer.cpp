#include "storage/dbinitializer.h"

#include "common/log.h"
#include "storage/dbinitializermysql.h"
#include "storage/dbinitializerpostgresql.h"
#include "storage/dbinitializersqlite.h"
#include "storage/querybuilder.h"

#include <QDomDocument>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

std::shared_ptr<DbInitializer> DbInitializer::createInstance(const QSqlDatabase &database, const QString &templateFile)
{
    const QString driver = database.driverName();
    if (driver.startsWith(QLatin1String("QMYSQL"))) {
        return std::shared_ptr<DbInitializer>(new DbInitializerMySql(database, templateFile));
    }
    if (driver.startsWith(QLatin1String("QSQLITE"))) {
        return std::shared_ptr<DbInitializer>(new DbInitializerSqlite(database, templateFile));
    }
    if (driver.startsWith(QLatin1String("QPSQL"))) {
        return std::shared_ptr<DbInitializer>(new DbInitializerPostgreSql(database, templateFile));
    }
    logError() << driver << "backend  not supported";
    return nullptr;
}

DbInitializer::DbInitializer(const QSqlDatabase &database, const QString &templateFile)
    : m_database(database)
    , m_templateFile(templateFile)
{
}

DbInitializer::~DbInitializer() = default;

bool DbInitializer::run()
{
    logDebug() << "DbInitializer::run()";

    QFile file(m_templateFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorMsg = QStringLiteral("Unable to open template file '%1'.").arg(m_templateFile);
        return false;
    }

    QDomDocument document;
    QString errorMsg;
    int line = 0;
    int column = 0;
    if (!document.setContent(&file, &errorMsg, &line, &column)) {
        m_errorMsg = QStringLiteral("Unable to parse template file '%1': %2 (%3:%4).")
                         .arg(m_templateFile, errorMsg)
                         .arg(line)
                         .arg(column);
        return false;
    }

    const QDomElement documentElement = document.documentElement();
    if (documentElement.tagName() != QLatin1String("database")) {
        m_errorMsg = QStringLiteral("Invalid format of template file '%1'.").arg(m_templateFile);
        return false;
    }

    for (QDomElement element = documentElement.firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        const QString tagName = element.tagName();
        if (tagName == QLatin1String("table")) {
            if (!checkTable(element)) {
                return false;
            }
        } else if (tagName == QLatin1String("relation")) {
            if (!checkRelation(element)) {
                return false;
            }
        } else {
            m_errorMsg = QStringLiteral("Unknown tag, expected <table> and got <%1>.").arg(tagName);
            return false;
        }
    }

    logDebug() << "DbInitializer::run() done";
    return true;
}

bool DbInitializer::execute(const QString &statement, QString *error) const
{
    QSqlQuery query(m_database);
    if (!query.exec(statement)) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

bool DbInitializer::checkTable(const QDomElement &element)
{
    const TableDescription tableDescription = parseTableDescription(element);
    const QString &tableName = tableDescription.name;
    logDebug() << "checking table " << tableName;

    QString error;
    if (hasTable(tableName)) {
        // Existing columns are never altered or dropped; missing ones are added. The fields are
        // looked up under the name the database keeps (PostgreSQL folds it to lower case), or every
        // column would look missing.
        const QSqlRecord table = m_database.record(storedTableName(tableName));
        for (const ColumnDescription &column : tableDescription.columns) {
            bool found = false;
            for (int i = 0; i < table.count(); ++i) {
                if (table.fieldName(i).compare(column.name, Qt::CaseInsensitive) == 0) {
                    found = true;
                    break;
                }
            }
            if (found) {
                continue;
            }
            const QString statement = buildAddColumnStatement(tableDescription, column);
            logDebug() << statement;
            if (!execute(statement, &error)) {
                m_errorMsg = QStringLiteral("Unable to add column '%1' to table '%2'.\n").arg(column.name, tableName);
                m_errorMsg += QStringLiteral("Query error: '%1'").arg(error);
                return false;
            }
        }
    } else {
        const QString statement = buildCreateTableStatement(tableDescription);
        logDebug() << statement;
        if (!execute(statement, &error)) {
            m_errorMsg = QStringLiteral("Unable to create entire table.\n");
            m_errorMsg += QStringLiteral("Query error: '%1'").arg(error);
            return false;
        }
    }

    for (const IndexDescription &index : tableDescription.indexes) {
        if (hasIndex(tableName, QStringLiteral("%1_%2").arg(tableName, index.name))) {
            continue;
        }
        const QString statement = buildCreateIndexStatement(tableDescription, index);
        logDebug() << "adding index" << statement;
        if (!execute(statement, &error)) {
            m_errorMsg = QStringLiteral("Unable to create index.\n");
            m_errorMsg += QStringLiteral("Query error: '%1'").arg(error);
            return false;
        }
    }

    // Initial rows go only into an empty table; one that has rows is left as it is.
    QueryBuilder qb(m_database, tableName);
    qb.addColumn(QStringLiteral("*"));
    qb.setLimit(1);
    if (!qb.exec()) {
        m_errorMsg = QStringLiteral("Unable to retrieve data from table '%1'.\n").arg(tableName);
        m_errorMsg += QStringLiteral("Query error: '%1'").arg(qb.query().lastError().text());
        return false;
    }
    if (qb.query().size() == 0 || !qb.query().first()) {
        for (const DataDescription &data : tableDescription.data) {
            const QString statement = buildInsertValuesStatement(tableDescription, data);
            logDebug() << statement;
            if (!execute(statement, &error)) {
                m_errorMsg = QStringLiteral("Unable to add initial data to table '%1'.\n").arg(tableName);
                m_errorMsg += QStringLiteral("Query error: '%1'\n").arg(error);
                m_errorMsg += QStringLiteral("Query was: %1").arg(statement);
                return false;
            }
        }
    }
    return true;
}

bool DbInitializer::checkRelation(const QDomElement &element)
{
    const RelationDescription relation = parseRelationDescription(element);
    const QString tableName = relation.firstTable + relation.secondTable + QLatin1String("Relation");
    logDebug() << "checking relation " << tableName;

    if (hasTable(tableName)) {
        return true;
    }
    const QString statement = buildCreateRelationTableStatement(tableName, relation);
    logDebug() << statement;
    QString error;
    if (!execute(statement, &error)) {
        m_errorMsg = QStringLiteral("Unable to create entire table.\n");
        m_errorMsg += QStringLiteral("Query error: '%1'").arg(error);
        return false;
    }
    return true;
}

DbInitializer::TableDescription DbInitializer::parseTableDescription(const QDomElement &element)
{
    TableDescription table;
    table.name = element.attribute(QStringLiteral("name")) + QLatin1String("Table");

    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        const QString tag = child.tagName();
        if (tag == QLatin1String("column")) {
            ColumnDescription column;
            column.name = child.attribute(QStringLiteral("name"));
            column.type = child.attribute(QStringLiteral("type"));
            if (child.hasAttribute(QStringLiteral("allowNull"))) {
                column.allowNull = child.attribute(QStringLiteral("allowNull")) == QLatin1String("true");
            }
            column.isAutoIncrement = child.attribute(QStringLiteral("isAutoIncrement")) == QLatin1String("true");
            column.isPrimaryKey = child.attribute(QStringLiteral("isPrimaryKey")) == QLatin1String("true");
            column.isUnique = child.attribute(QStringLiteral("isUnique")) == QLatin1String("true");
            column.refTable = child.attribute(QStringLiteral("refTable"));
            column.refColumn = child.attribute(QStringLiteral("refColumn"));
            column.defaultValue = child.attribute(QStringLiteral("default"));
            table.columns.append(column);
        } else if (tag == QLatin1String("index")) {
            IndexDescription index;
            index.name = child.attribute(QStringLiteral("name"));
            index.columns = child.attribute(QStringLiteral("columns")).split(QLatin1Char(','));
            index.isUnique = child.attribute(QStringLiteral("unique")) == QLatin1String("true");
            table.indexes.append(index);
        } else if (tag == QLatin1String("data")) {
            const QStringList columns = child.attribute(QStringLiteral("columns")).split(QLatin1Char(','));
            const QStringList values = child.attribute(QStringLiteral("values")).split(QLatin1Char(','));
            DataDescription data;
            for (int i = 0; i < columns.size() && i < values.size(); ++i) {
                data.data.insert(columns.at(i), values.at(i));
                data.columns.append(columns.at(i));
            }
            table.data.append(data);
        }
    }
    return table;
}

DbInitializer::RelationDescription DbInitializer::parseRelationDescription(const QDomElement &element)
{
    RelationDescription relation;
    relation.firstTable = element.attribute(QStringLiteral("table1"));
    relation.firstTableName = relation.firstTable + QLatin1String("Table");
    relation.firstColumn = element.attribute(QStringLiteral("column1"));
    relation.secondTable = element.attribute(QStringLiteral("table2"));
    relation.secondTableName = relation.secondTable + QLatin1String("Table");
    relation.secondColumn = element.attribute(QStringLiteral("column2"));
    return relation;
}

QString DbInitializer::sqlType(const QString &type) const
{
    if (type == QLatin1String("int")) {
        return QStringLiteral("INTEGER");
    }
    if (type == QLatin1String("qint64")) {
        return QStringLiteral("BIGINT");
    }
    if (type == QLatin1String("QString")) {
        return QStringLiteral("TEXT");
    }
    if (type == QLatin1String("QByteArray")) {
        return QStringLiteral("LONGBLOB");
    }
    if (type == QLatin1String("QDateTime")) {
        return QStringLiteral("TIMESTAMP");
    }
    if (type == QLatin1String("bool")) {
        return QStringLiteral("BOOL");
    }
    return QString();
}

QString DbInitializer::sqlValue(const QString &type, const QString &value) const
{
    if (type == QLatin1String("QDateTime") && value == QLatin1String("QDateTime::currentDateTime()")) {
        return QStringLiteral("CURRENT_TIMESTAMP");
    }
    return value;
}

QString DbInitializer::buildAddColumnStatement(const TableDescription &tableDescription,
                                               const ColumnDescription &columnDescription) const
{
    return QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
        .arg(tableDescription.name, buildColumnStatement(columnDescription));
}

QString DbInitializer::buildCreateIndexStatement(const TableDescription &tableDescription,
                                                 const IndexDescription &indexDescription) const
{
    return QStringLiteral("CREATE %1 INDEX %2_%3 ON %4 (%5)")
        .arg(indexDescription.isUnique ? QStringLiteral("UNIQUE") : QString(), tableDescription.name,
             indexDescription.name, tableDescription.name, indexDescription.columns.join(QLatin1Char(',')));
}

QString DbInitializer::buildCreateRelationTableStatement(const QString &tableName,
                                                         const RelationDescription &relation) const
{
    return QStringLiteral("CREATE TABLE %1 (").arg(tableName)
        + QStringLiteral("%1_%2 INTEGER REFERENCES %3(%4), ")
              .arg(relation.firstTable, relation.firstColumn, relation.firstTableName, relation.firstColumn)
        + QStringLiteral("%1_%2 INTEGER REFERENCES %3(%4), ")
              .arg(relation.secondTable, relation.secondColumn, relation.secondTableName, relation.secondColumn)
        + QStringLiteral("PRIMARY KEY (%1_%2, %3_%4))")
              .arg(relation.firstTable, relation.firstColumn, relation.secondTable, relation.secondColumn);
}

QString DbInitializer::storedTableName(const QString &tableName) const
{
    const QStringList tables = m_database.tables();
    for (const QString &table : tables) {
        if (table.compare(tableName, Qt::CaseInsensitive) == 0) {
            return table;
        }
    }
    return QString();
}

bool DbInitializer::hasTable(const QString &tableName) const
{
    return !storedTableName(tableName).isEmpty();
}

bool DbInitializer::hasIndex(const QString &tableName, const QString &indexName)
{
    QSqlQuery query(m_database);
    if (!query.exec(hasIndexQuery(tableName, indexName))) {
        m_errorMsg = QStringLiteral("Unable to list index information for table %1.\n").arg(tableName);
        m_errorMsg += QStringLiteral("Query error: '%1'").arg(query.lastError().text());
        return false;
    }
    return query.next();
}

QString DbInitializer::hasIndexQuery(const QString &tableName, const QString &indexName)
{
    Q_UNUSED(tableName)
    Q_UNUSED(indexName)
    logFatal() << "Implement index support for your database!";
    return QString();
}

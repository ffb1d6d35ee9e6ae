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

bool DbInitializer::loadTemplate(QDomDocument *document)
{
    QFile file(m_templateFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorMsg = QStringLiteral("Unable to open template file '%1'.").arg(m_templateFile);
        return false;
    }

    QString errorMsg;
    int line = 0;
    int column = 0;
    if (!document->setContent(&file, &errorMsg, &line, &column)) {
        m_errorMsg = QStringLiteral("Unable to parse template file '%1': %2 (%3:%4).")
                         .arg(m_templateFile, errorMsg)
                         .arg(line)
                         .arg(column);
        return false;
    }

    if (document->documentElement().tagName() != QLatin1String("database")) {
        m_errorMsg = QStringLiteral("Invalid format of template file '%1'.").arg(m_templateFile);
        return false;
    }
    return true;
}

bool DbInitializer::run()
{
    logDebug() << "DbInitializer::run()";

    QDomDocument document;
    if (!loadTemplate(&document)) {
        return false;
    }

    const QDomElement documentElement = document.documentElement();
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

bool DbInitializer::tableDescription(const QString &tableName, TableDescription *table)
{
    QDomDocument document;
    if (!loadTemplate(&document)) {
        return false;
    }
    for (QDomElement element = document.documentElement().firstChildElement(QStringLiteral("table"));
         !element.isNull(); element = element.nextSiblingElement(QStringLiteral("table"))) {
        if (element.attribute(QStringLiteral("name")) + QLatin1String("Table") == tableName) {
            *table = parseTableDescription(element);
            return true;
        }
    }
    m_errorMsg = QStringLiteral("The template file '%1' describes no table %2.").arg(m_templateFile, tableName);
    return false;
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
        // Existing columns are never altered or dropped; missing ones are added.
        for (const ColumnDescription &column : tableDescription.columns) {
            if (hasColumn(m_database, tableName, column.name)) {
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
    static const QHash<QString, QString> types = {
        {QStringLiteral("int"), QStringLiteral("INTEGER")},      {QStringLiteral("qint64"), QStringLiteral("BIGINT")},
        {QStringLiteral("QString"), QStringLiteral("TEXT")},     {QStringLiteral("QByteArray"), QStringLiteral("LONGBLOB")},
        {QStringLiteral("QDateTime"), QStringLiteral("TIMESTAMP")}, {QStringLiteral("bool"), QStringLiteral("BOOL")},
    };
    return types.value(type);
}

QString DbInitializer::sqlValue(const QString &type, const QString &value) const
{
    if (type == QLatin1String("QDateTime") && value == QLatin1String("QDateTime::currentDateTime()")) {
        return QStringLiteral("CURRENT_TIMESTAMP");
    }
    return value;
}

QStringList DbInitializer::columnStatements(const TableDescription &tableDescription) const
{
    QStringList columns;
    for (const ColumnDescription &column : tableDescription.columns) {
        columns.append(buildColumnStatement(column));
    }
    return columns;
}

QString DbInitializer::defaultClause(const ColumnDescription &columnDescription) const
{
    if (columnDescription.defaultValue.isEmpty()) {
        return QString();
    }
    const QString defaultValue = sqlValue(columnDescription.type, columnDescription.defaultValue);
    return defaultValue.isEmpty() ? QString() : QStringLiteral(" DEFAULT %1").arg(defaultValue);
}

QString DbInitializer::keyClause(const ColumnDescription &columnDescription)
{
    if (columnDescription.isPrimaryKey) {
        return QStringLiteral(" PRIMARY KEY");
    }
    return columnDescription.isUnique ? QStringLiteral(" UNIQUE") : QString();
}

QString DbInitializer::buildCreateTableStatement(const TableDescription &tableDescription) const
{
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(tableDescription.name, columnStatements(tableDescription).join(QLatin1String(", ")));
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

QString DbInitializer::initialValue(const QString &value) const
{
    QString escaped = value;
    return escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
}

QString DbInitializer::buildInsertValuesStatement(const TableDescription &tableDescription,
                                                  const DataDescription &dataDescription) const
{
    QStringList values;
    for (const QString &column : dataDescription.columns) {
        values.append(initialValue(dataDescription.data.value(column)));
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(tableDescription.name, dataDescription.columns.join(QLatin1Char(',')), values.join(QLatin1Char(',')));
}

QString DbInitializer::relationColumnStatement(const QString &table, const QString &column,
                                               const QString &tableName) const
{
    return QStringLiteral("%1_%2 INTEGER REFERENCES %3(%4), ").arg(table, column, tableName, column);
}

QString DbInitializer::buildCreateRelationTableStatement(const QString &tableName,
                                                         const RelationDescription &relation) const
{
    return QStringLiteral("CREATE TABLE %1 (").arg(tableName)
        + relationColumnStatement(relation.firstTable, relation.firstColumn, relation.firstTableName)
        + relationColumnStatement(relation.secondTable, relation.secondColumn, relation.secondTableName)
        + QStringLiteral("PRIMARY KEY (%1_%2, %3_%4))")
              .arg(relation.firstTable, relation.firstColumn, relation.secondTable, relation.secondColumn);
}

QString DbInitializer::storedTableName(const QSqlDatabase &database, const QString &tableName)
{
    const QStringList tables = database.tables();
    for (const QString &table : tables) {
        if (table.compare(tableName, Qt::CaseInsensitive) == 0) {
            return table;
        }
    }
    return QString();
}

bool DbInitializer::hasTable(const QString &tableName) const
{
    return !storedTableName(m_database, tableName).isEmpty();
}

bool DbInitializer::hasColumn(const QSqlDatabase &database, const QString &tableName, const QString &columnName)
{
    // The fields are looked up under the name the database keeps (PostgreSQL folds it to lower
    // case), or every column would look missing.
    const QString storedName = storedTableName(database, tableName);
    if (storedName.isEmpty()) {
        return false;
    }
    const QSqlRecord table = database.record(storedName);
    for (int i = 0; i < table.count(); ++i) {
        if (table.fieldName(i).compare(columnName, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
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

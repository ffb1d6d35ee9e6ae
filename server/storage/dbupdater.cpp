#include "storage/dbupdater.h"

#include "common/log.h"
#include "storage/dbinitializer.h"

#include <QDomDocument>
#include <QFile>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QString databaseFamily(const QString &driverName)
{
    // The embedded server speaks the same SQL as a MySQL server.
    if (driverName == QLatin1String("QMYSQL") || driverName == QLatin1String("QMYSQL_EMBEDDED")) {
        return QStringLiteral("mysql");
    }
    if (driverName == QLatin1String("QPSQL")) {
        return QStringLiteral("psql");
    }
    if (driverName.startsWith(QLatin1String("QSQLITE"))) {
        return QStringLiteral("sqlite");
    }
    return QString();
}

// "Table.name" into its two halves; false when it has no point.
bool splitQualifiedName(const QString &qualified, QString *table, QString *name)
{
    const int point = qualified.indexOf(QLatin1Char('.'));
    if (point <= 0) {
        return false;
    }
    *table = qualified.left(point);
    *name = qualified.mid(point + 1);
    return true;
}

} // namespace

DbUpdater::DbUpdater(const QSqlDatabase &database, const QString &fileName)
    : m_database(database)
    , m_fileName(fileName)
    , m_family(databaseFamily(database.driverName()))
{
}

bool DbUpdater::run()
{
    int currentVersion = 0;
    if (!readVersion(&currentVersion)) {
        return false;
    }

    QMap<int, UpdateSet> updates;
    if (!parseUpdateSets(currentVersion, updates)) {
        return false;
    }

    for (const UpdateSet &update : std::as_const(updates)) {
        logDebug() << "DbUpdater: update to version:" << update.version << " mandatory:" << update.abortOnFailure;
        if (!applyUpdate(update) && update.abortOnFailure) {
            return false;
        }
    }
    return true;
}

bool DbUpdater::readVersion(int *version) const
{
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("SELECT version FROM SchemaVersionTable"))) {
        logError() << "DbUpdater: unable to read the schema version:" << query.lastError().text();
        return false;
    }
    // Guessing would run updates on a database they do not fit, or skip ones it needs.
    if (!query.next()) {
        logError() << "DbUpdater: SchemaVersionTable holds no row, so the database's schema version is unknown";
        return false;
    }
    *version = query.value(0).toInt();
    return true;
}

bool DbUpdater::parseUpdateSets(int currentVersion, QMap<int, UpdateSet> &updates)
{
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        logError() << "Unable to open update description file" << m_fileName;
        return false;
    }

    QDomDocument document;
    QString errorMsg;
    int line = 0;
    int column = 0;
    if (!document.setContent(&file, &errorMsg, &line, &column)) {
        logError() << "Unable to parse update description file" << m_fileName << ":" << errorMsg << "at line" << line
                   << "column" << column;
        return false;
    }

    const QDomElement documentElement = document.documentElement();
    if (documentElement.tagName() != QLatin1String("updates")) {
        logError() << "Invalid update description file formant";
        return false;
    }
    m_schemaFile = documentElement.attribute(QStringLiteral("schema"));

    QSet<int> seenVersions;
    for (QDomElement updateElement = documentElement.firstChildElement(QStringLiteral("update"));
         !updateElement.isNull(); updateElement = updateElement.nextSiblingElement(QStringLiteral("update"))) {
        const int version = updateElement.attribute(QStringLiteral("version"), QStringLiteral("-1")).toInt();
        if (version <= 0) {
            logError() << "Invalid version attribute in database update description";
            return false;
        }
        // Also among the updates already applied: a second one of a version would never run.
        if (seenVersions.contains(version)) {
            logError() << "Duplicate version attribute in database update description";
            return false;
        }
        seenVersions.insert(version);
        if (version <= currentVersion) {
            logDebug() << "skipping update" << version;
            continue;
        }

        UpdateSet update;
        update.version = version;
        update.abortOnFailure = updateElement.attribute(QStringLiteral("abortOnFailure")) == QLatin1String("true");
        for (QDomElement element = updateElement.firstChildElement(); !element.isNull();
             element = element.nextSiblingElement()) {
            if (updateApplicable(element.attribute(QStringLiteral("backends"))) && !parseStep(element, &update.steps)) {
                return false;
            }
        }
        updates.insert(version, update);
    }
    return true;
}

bool DbUpdater::parseStep(const QDomElement &element, QList<Step> *steps) const
{
    Step step;
    const QString tag = element.tagName();
    if (tag == QLatin1String("raw-sql")) {
        step.kind = Step::RawSql;
        step.text = buildRawSqlStatement(element);
    } else if (tag == QLatin1String("check")) {
        step.kind = Step::Check;
        step.text = buildRawSqlStatement(element);
        step.message = element.attribute(QStringLiteral("message"));
    } else if (tag == QLatin1String("rebuild-table")) {
        step.kind = Step::RebuildTable;
        step.table = element.attribute(QStringLiteral("table"));
    } else if (tag == QLatin1String("complete-schema")) {
        step.kind = Step::CompleteSchema;
    } else {
        // Other elements have nothing to do.
        return true;
    }
    if ((step.kind == Step::RebuildTable || step.kind == Step::CompleteSchema) && m_schemaFile.isEmpty()) {
        logError() << "Invalid update description file: <" << tag << "> needs the schema attribute of <updates>";
        return false;
    }
    if ((step.kind == Step::RawSql || step.kind == Step::Check) && step.text.isEmpty()) {
        return true;
    }
    step.ifTable = element.attribute(QStringLiteral("ifTable"));
    step.ifColumn = element.attribute(QStringLiteral("ifColumn"));
    step.ifIndex = element.attribute(QStringLiteral("ifIndex"));
    steps->append(step);
    return true;
}

bool DbUpdater::updateApplicable(const QString &backends) const
{
    return !m_family.isEmpty() && backends.split(QLatin1Char(',')).contains(m_family);
}

QString DbUpdater::buildRawSqlStatement(const QDomElement &element)
{
    return element.text().trimmed();
}

bool DbUpdater::applyUpdate(const UpdateSet &update)
{
    bool ok = m_database.transaction();
    if (!ok) {
        logError() << "DbUpdater: unable to begin a transaction:" << m_database.lastError().text();
    }
    // The first failure ends the update: what follows it would run on a schema it was not written
    // for, and PostgreSQL refuses every further statement of a failed transaction anyway.
    for (const Step &step : update.steps) {
        if (!ok) {
            break;
        }
        ok = !guardsHold(step) || runStep(step, update);
    }
    if (ok && writeVersion(update.version, update) && m_database.commit()) {
        return true;
    }
    logError() << "Failed to commit transaction for database update";
    m_database.rollback();
    return false;
}

bool DbUpdater::guardsHold(const Step &step)
{
    QString table;
    QString name;
    if (!step.ifTable.isEmpty() && DbInitializer::storedTableName(m_database, step.ifTable).isEmpty()) {
        return false;
    }
    if (splitQualifiedName(step.ifColumn, &table, &name) && !DbInitializer::hasColumn(m_database, table, name)) {
        return false;
    }
    if (splitQualifiedName(step.ifIndex, &table, &name)) {
        const std::shared_ptr<DbInitializer> initializer = DbInitializer::createInstance(m_database, m_schemaFile);
        return initializer && initializer->hasIndex(table, name);
    }
    return true;
}

bool DbUpdater::runStep(const Step &step, const UpdateSet &update)
{
    switch (step.kind) {
    case Step::RawSql:
        return execute(step.text, update);
    case Step::Check:
        return check(step, update);
    case Step::RebuildTable:
        return rebuildTable(step.table, update);
    case Step::CompleteSchema:
        return completeSchema();
    }
    return false;
}

void DbUpdater::reportQueryError(const QSqlQuery &query, const QString &statement, const UpdateSet &update) const
{
    logError() << "DBUpdater: query error:" << query.lastError().text() << m_database.lastError().text();
    logError() << "Query was: " << statement;
    logError() << "Target version was: " << update.version;
    logError() << "Mandatory: " << update.abortOnFailure;
}

bool DbUpdater::execute(const QString &statement, const UpdateSet &update)
{
    QSqlQuery query(m_database);
    if (query.exec(statement)) {
        return true;
    }
    reportQueryError(query, statement, update);
    return false;
}

bool DbUpdater::check(const Step &step, const UpdateSet &update)
{
    QSqlQuery query(m_database);
    if (!query.exec(step.text)) {
        reportQueryError(query, step.text, update);
        return false;
    }
    if (!query.next()) {
        return true;
    }
    logError() << "DbUpdater: the database cannot be updated to version" << update.version << "as it is:"
               << step.message;
    logError() << "Query was: " << step.text;
    return false;
}

bool DbUpdater::rebuildTable(const QString &tableName, const UpdateSet &update)
{
    const std::shared_ptr<DbInitializer> initializer = DbInitializer::createInstance(m_database, m_schemaFile);
    DbInitializer::TableDescription table;
    if (!initializer || !initializer->tableDescription(tableName, &table)) {
        logError() << "DbUpdater: unable to rebuild" << tableName << ":" << (initializer ? initializer->errorMsg() : QString());
        return false;
    }

    // The rows keep the values of every column both the old and the new table have.
    QStringList columns;
    for (const DbInitializer::ColumnDescription &column : std::as_const(table.columns)) {
        if (DbInitializer::hasColumn(m_database, tableName, column.name)) {
            columns.append(column.name);
        }
    }
    const QString columnList = columns.join(QLatin1String(", "));
    DbInitializer::TableDescription rebuilt = table;
    rebuilt.name = tableName + QLatin1String("_rebuilt");

    QStringList statements = {
        initializer->buildCreateTableStatement(rebuilt),
        QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(rebuilt.name, columnList, tableName),
        QStringLiteral("DROP TABLE %1").arg(tableName),
        QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuilt.name, tableName),
    };
    // The indexes went with the old table.
    for (const DbInitializer::IndexDescription &index : std::as_const(table.indexes)) {
        statements.append(initializer->buildCreateIndexStatement(table, index));
    }
    for (const QString &statement : std::as_const(statements)) {
        if (!execute(statement, update)) {
            return false;
        }
    }
    return true;
}

bool DbUpdater::completeSchema()
{
    const std::shared_ptr<DbInitializer> initializer = DbInitializer::createInstance(m_database, m_schemaFile);
    if (!initializer) {
        return false;
    }
    if (!initializer->run()) {
        logError() << "DbUpdater: unable to complete the schema:" << initializer->errorMsg();
        return false;
    }
    return true;
}

bool DbUpdater::writeVersion(int version, const UpdateSet &update)
{
    QSqlQuery query(m_database);
    query.prepare(QStringLiteral("UPDATE SchemaVersionTable SET version = ?"));
    query.addBindValue(version);
    if (query.exec()) {
        return true;
    }
    reportQueryError(query, query.lastQuery(), update);
    return false;
}

#include "teststorage.h"

#include "storage/datastore.h"
#include "storage/dbinitializer.h"

#include <QDomDocument>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList s_messages;

void collectMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    s_messages.append(message);
}

// The statements an initializer run executed, read from its debug output.
QStringList executedStatements(DbInitializer &initializer, bool *ok)
{
    s_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    *ok = initializer.run();
    qInstallMessageHandler(previous);
    QStringList statements;
    for (const QString &message : std::as_const(s_messages)) {
        for (const char *verb : {"\"CREATE", "\"ALTER", "\"INSERT", "adding index"}) {
            if (message.startsWith(QLatin1String(verb))) {
                statements.append(message);
            }
        }
    }
    return statements;
}

QSqlDatabase fakeConnection(const QString &driver)
{
    // Statement text needs only the driver name; nothing is opened.
    const QString name = QLatin1String("fake-") + driver;
    return QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false) : QSqlDatabase::addDatabase(driver, name);
}

DbInitializer::TableDescription tableFromSchema(const QString &name)
{
    QFile file(QStringLiteral(":talvoridb.xml"));
    file.open(QIODevice::ReadOnly);
    QDomDocument document;
    document.setContent(&file);
    for (QDomElement e = document.documentElement().firstChildElement(QStringLiteral("table")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("table"))) {
        if (e.attribute(QStringLiteral("name")) == name) {
            return DbInitializer::parseTableDescription(e);
        }
    }
    return {};
}

} // namespace

class DbInitializerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void createInstance_data();
    void createInstance();
    void statements_data();
    void statements();
    void badTemplates_data();
    void badTemplates();
    void createsSchemaOnceOnEmptyDatabase();
    void completesMissingColumnAndIndex();
    void refillsEmptiedTable();

private:
    bool skipUnlessSqlite();

    TestStorage m_storage;
    QSqlDatabase m_db;
};

void DbInitializerTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
    QString error;
    m_db = m_storage.createEmptyDatabase(QStringLiteral("initializertest"), &error);
    QVERIFY2(m_db.isOpen(), qPrintable(error));
}

bool DbInitializerTest::skipUnlessSqlite()
{
    return !m_storage.backend().isSqlite();
}

void DbInitializerTest::createInstance_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("supported");
    QTest::newRow("QMYSQL") << "QMYSQL" << true;
    QTest::newRow("QSQLITE") << "QSQLITE" << true;
    QTest::newRow("QPSQL") << "QPSQL" << true;
    QTest::newRow("QODBC") << "QODBC" << false;
}

void DbInitializerTest::createInstance()
{
    QFETCH(QString, driver);
    QFETCH(bool, supported);
    if (!supported) {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("backend  not supported")));
    }
    QCOMPARE(bool(DbInitializer::createInstance(fakeConnection(driver), QStringLiteral(":talvoridb.xml"))), supported);
}

void DbInitializerTest::statements_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("statement");

    QTest::newRow("MySQL table") << "QMYSQL" << "Flag" << "table"
        << "CREATE TABLE FlagTable (id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY, name VARBINARY(255) NOT NULL "
           "UNIQUE)  COLLATE=utf8_general_ci DEFAULT CHARSET=utf8";
    QTest::newRow("MySQL foreign keys") << "QMYSQL" << "CollectionAttribute" << "table"
        << "CREATE TABLE CollectionAttributeTable (id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY, collectionId BIGINT "
           "NOT NULL, type LONGBLOB NOT NULL, value LONGBLOB, FOREIGN KEY (collectionId) REFERENCES "
           "CollectionTable(id) ON DELETE CASCADE ON UPDATE CASCADE)  COLLATE=utf8_general_ci DEFAULT CHARSET=utf8";
    QTest::newRow("SQLite table") << "QSQLITE" << "Flag" << "table"
        << "CREATE TABLE FlagTable (id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, name TEXT UNIQUE NOT NULL)";
    QTest::newRow("PostgreSQL table") << "QPSQL" << "Part" << "table"
        << "CREATE TABLE PartTable (id BIGSERIAL PRIMARY KEY, pimItemId int8 NOT NULL REFERENCES PimItemTable(id) ON "
           "DELETE CASCADE ON UPDATE CASCADE, name BYTEA NOT NULL, data BYTEA, datasize int8 NOT NULL, version "
           "INTEGER DEFAULT 0, external BOOL DEFAULT false)";
    QTest::newRow("SQLite time default") << "QSQLITE" << "PimItem" << "column datetime"
                                         << "datetime TIMESTAMP DEFAULT CURRENT_TIMESTAMP";
    QTest::newRow("MySQL add column") << "QMYSQL" << "PimItem" << "add size"
                                      << "ALTER TABLE PimItemTable ADD COLUMN size BIGINT NOT NULL DEFAULT 0";
    QTest::newRow("unique index") << "QSQLITE" << "Collection" << "index parentAndNameIndex"
        << "CREATE UNIQUE INDEX CollectionTable_parentAndNameIndex ON CollectionTable (parentId,name)";
    QTest::newRow("plain index") << "QPSQL" << "Part" << "index pimItemNameIndex"
                                 << "CREATE  INDEX PartTable_pimItemNameIndex ON PartTable (name)";
    QTest::newRow("MySQL initial row doubles backslashes") << "QMYSQL" << "Flag" << "row 6"
                                                           << "INSERT INTO FlagTable (name) VALUES ('\\\\SEEN')";
    QTest::newRow("PostgreSQL initial row doubles backslashes") << "QPSQL" << "Flag" << "row 7"
                                                                << "INSERT INTO FlagTable (name) VALUES ('\\\\DRAFT')";
    QTest::newRow("SQLite initial row: 1 for true") << "QSQLITE" << "Resource" << "row 0"
        << "INSERT INTO ResourceTable (name,isVirtual) VALUES ('talvori_search_resource',1)";
    QTest::newRow("SQLite relation") << "QSQLITE" << "" << "relation"
        << "CREATE TABLE PimItemFlagRelation (PimItem_id INTEGER REFERENCES PimItemTable(id), Flag_id INTEGER "
           "REFERENCES FlagTable(id), PRIMARY KEY (PimItem_id, Flag_id))";
    QTest::newRow("PostgreSQL relation") << "QPSQL" << "" << "relation"
        << "CREATE TABLE PimItemFlagRelation (PimItem_id int8 REFERENCES PimItemTable(id)  ON DELETE CASCADE ON "
           "UPDATE CASCADE, Flag_id int8 REFERENCES FlagTable(id)  ON DELETE CASCADE ON UPDATE CASCADE, PRIMARY "
           "KEY (PimItem_id, Flag_id))";
    QTest::newRow("MySQL relation") << "QMYSQL" << "" << "relation"
        << "CREATE TABLE PimItemFlagRelation (PimItem_id BIGINT REFERENCES PimItemTable(id) ON DELETE CASCADE ON "
           "UPDATE CASCADE, Flag_id BIGINT REFERENCES FlagTable(id) ON DELETE CASCADE ON UPDATE CASCADE, PRIMARY KEY "
           "(PimItem_id, Flag_id))";
}

void DbInitializerTest::statements()
{
    if (skipUnlessSqlite()) {
        QSKIP("statement text is checked by the SQLite run");
    }
    QFETCH(QString, driver);
    QFETCH(QString, table);
    QFETCH(QString, kind);
    QFETCH(QString, statement);

    const auto initializer = DbInitializer::createInstance(fakeConnection(driver), QStringLiteral(":talvoridb.xml"));
    QVERIFY(initializer);
    const DbInitializer::TableDescription description = tableFromSchema(table);
    const QString what = kind.section(QLatin1Char(' '), 1);
    QString built;
    if (kind == QLatin1String("table")) {
        built = initializer->buildCreateTableStatement(description);
    } else if (kind.startsWith(QLatin1String("column")) || kind.startsWith(QLatin1String("add"))) {
        for (const auto &column : description.columns) {
            if (column.name == what) {
                built = kind.startsWith(QLatin1String("add")) ? initializer->buildAddColumnStatement(description, column)
                                                              : initializer->buildColumnStatement(column);
            }
        }
    } else if (kind.startsWith(QLatin1String("index"))) {
        for (const auto &index : description.indexes) {
            if (index.name == what) {
                built = initializer->buildCreateIndexStatement(description, index);
            }
        }
    } else if (kind.startsWith(QLatin1String("row"))) {
        built = initializer->buildInsertValuesStatement(description, description.data.at(what.toInt()));
    } else {
        DbInitializer::RelationDescription relation{QStringLiteral("PimItem"), QStringLiteral("PimItemTable"),
                                                    QStringLiteral("id"),      QStringLiteral("Flag"),
                                                    QStringLiteral("FlagTable"), QStringLiteral("id")};
        built = initializer->buildCreateRelationTableStatement(QStringLiteral("PimItemFlagRelation"), relation);
    }
    QCOMPARE(built, statement);
}

void DbInitializerTest::badTemplates_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("wrong root") << QByteArray("<schema><table name=\"A\"/></schema>")
                                << "Invalid format of template file '%1'.";
    QTest::newRow("unknown element") << QByteArray("<database><view name=\"V\"/></database>")
                                     << "Unknown tag, expected <table> and got <view>.";
    QTest::newRow("not XML") << QByteArray("<database>") << "Unable to parse template file '%1': ";
    QTest::newRow("missing file") << QByteArray() << "Unable to open template file '%1'.";
}

void DbInitializerTest::badTemplates()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("template.xml"));
    if (!content.isEmpty()) {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const auto initializer = DbInitializer::createInstance(m_db, fileName);
    QVERIFY(!initializer->run());
    QVERIFY2(initializer->errorMsg().startsWith(error.arg(fileName)), qPrintable(initializer->errorMsg()));
}

void DbInitializerTest::createsSchemaOnceOnEmptyDatabase()
{
    const auto initializer = DbInitializer::createInstance(m_db, QStringLiteral(":talvoridb.xml"));
    bool ok = false;
    const QStringList first = executedStatements(*initializer, &ok);
    QVERIFY2(ok, qPrintable(initializer->errorMsg()));
    // 8 tables, 3 relations, 5 indexes, 16 initial rows.
    QCOMPARE(first.size(), 32);

    for (const char *table : {"SchemaVersionTable", "ResourceTable", "CollectionTable", "MimeTypeTable", "PimItemTable",
                              "FlagTable", "PartTable", "CollectionAttributeTable", "PimItemFlagRelation",
                              "CollectionMimeTypeRelation", "CollectionPimItemRelation"}) {
        QVERIFY2(m_db.tables().contains(QLatin1String(table), Qt::CaseInsensitive), table);
    }
    QSqlQuery query(m_db);
    QVERIFY(query.exec(QStringLiteral("SELECT version FROM SchemaVersionTable")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 19);
    QVERIFY(query.exec(QStringLiteral("SELECT id FROM FlagTable ORDER BY id")));
    int flags = 0;
    while (query.next()) {
        ++flags;
    }
    QCOMPARE(flags, 8);
    QVERIFY(query.exec(QStringLiteral("SELECT id FROM MimeTypeTable ORDER BY id")));
    QVERIFY(query.last());
    QCOMPARE(query.value(0).toLongLong(), qint64(5));
    QVERIFY(query.exec(QStringLiteral("SELECT resourceId, parentId FROM CollectionTable")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toLongLong(), qint64(1));
    QVERIFY(query.isNull(1));

    // The backslash of a system flag arrives as one backslash.
    QVERIFY(query.exec(QStringLiteral("SELECT name FROM FlagTable WHERE id = 7")));
    QVERIFY(query.next());
    const QVariant seen = query.value(0);
    QCOMPARE(seen.typeId() == QMetaType::QByteArray ? QString::fromUtf8(seen.toByteArray()) : seen.toString(),
             QStringLiteral("\\SEEN"));

    const QStringList second = executedStatements(*initializer, &ok);
    QVERIFY(ok);
    QCOMPARE(second, QStringList());
}

void DbInitializerTest::completesMissingColumnAndIndex()
{
    QString error;
    QSqlDatabase db = m_storage.createEmptyDatabase(QStringLiteral("completiontest"), &error);
    QVERIFY2(db.isOpen(), qPrintable(error));
    const auto initializer = DbInitializer::createInstance(db, QStringLiteral(":talvoridb.xml"));
    QVERIFY(initializer->run());

    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("INSERT INTO PimItemTable (remoteId, rev) VALUES ('kept', 3)")));
    QVERIFY2(query.exec(QStringLiteral("ALTER TABLE PimItemTable DROP COLUMN size")), qPrintable(query.lastError().text()));
    const QString dropIndex = m_storage.backend().driver() == QLatin1String("QMYSQL")
        ? QStringLiteral("DROP INDEX PartTable_pimItemNameIndex ON PartTable")
        : QStringLiteral("DROP INDEX PartTable_pimItemNameIndex");
    QVERIFY2(query.exec(dropIndex), qPrintable(query.lastError().text()));

    bool ok = false;
    const QStringList statements = executedStatements(*initializer, &ok);
    QVERIFY2(ok, qPrintable(initializer->errorMsg()));
    QCOMPARE(statements.size(), 2);
    QVERIFY2(statements.at(0).startsWith(QLatin1String("\"ALTER TABLE PimItemTable ADD COLUMN size ")), qPrintable(statements.at(0)));
    QVERIFY2(statements.at(1).contains(QLatin1String("INDEX PartTable_pimItemNameIndex ON PartTable (name)")),
             qPrintable(statements.at(1)));

    QVERIFY(query.exec(QStringLiteral("SELECT rev, size FROM PimItemTable WHERE rev = 3")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 3);
    QCOMPARE(query.value(1).toLongLong(), qint64(0));
}

void DbInitializerTest::refillsEmptiedTable()
{
    QSqlQuery query(m_db);
    QVERIFY(query.exec(QStringLiteral("DELETE FROM FlagTable")));
    const auto initializer = DbInitializer::createInstance(m_db, QStringLiteral(":talvoridb.xml"));
    bool ok = false;
    const QStringList statements = executedStatements(*initializer, &ok);
    QVERIFY(ok);
    QCOMPARE(statements.size(), 8);
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM FlagTable")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 8);
}

QTEST_GUILESS_MAIN(DbInitializerTest)

#include "tst_dbinitializer.moc"

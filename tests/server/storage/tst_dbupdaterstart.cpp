// The real server starting on a database an older version left (on SQLite through the server's own
// driver, on MariaDB or PostgreSQL by TALVORI_TEST_BACKEND): it upgrades it and runs, the next
// start changes nothing, and a mandatory update that cannot apply stops it with the fatal line and
// leaves the data where it was.

#include "legacydatabase.h"
#include "storage/dbinitializer.h"
#include "testbus.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

class DbUpdaterStartTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void upgradesOnStart();
    void mandatoryFailureStopsTheServer();

private:
    // The server's home with its own database, filled as version left it.
    bool prepare(TestServer &server, int version, QSqlDatabase *db);
    static qint64 count(const QSqlDatabase &db, const QString &table);
    static int version(const QSqlDatabase &db);

    TempEnvironment m_busHome;
    TestBus m_bus;
};

void DbUpdaterStartTest::initTestCase()
{
    QVERIFY(m_busHome.isValid());
    QVERIFY(m_bus.start(m_busHome.path()));
}

bool DbUpdaterStartTest::prepare(TestServer &server, int version, QSqlDatabase *db)
{
    if (!server.prepare()) {
        qWarning() << server.errorString();
        return false;
    }
    // The SQLite file lives where the server looks for it.
    QDir().mkpath(server.environment().dataHome() + QLatin1String("/talvori"));
    *db = server.addDatabaseConnection(QStringLiteral("legacy") + QString::number(version));
    if (!db->open()) {
        qWarning() << db->lastError().text();
        return false;
    }
    QString error;
    if (!LegacyDatabase::create(*db, version, LegacyDatabase::Options(), &error)) {
        qWarning() << error;
        return false;
    }
    return true;
}

qint64 DbUpdaterStartTest::count(const QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

int DbUpdaterStartTest::version(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM SchemaVersionTable")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

void DbUpdaterStartTest::upgradesOnStart()
{
    TestServer server(m_bus);
    QSqlDatabase db;
    QVERIFY(prepare(server, 8, &db));
    // The server makes hidden items visible at every start, so only the other parts must stay.
    const QString visibleParts = QStringLiteral("PartTable WHERE name <> 'ATR:HIDDEN'");
    const qint64 parts = count(db, visibleParts);

    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const int exitCode = server.stop();
    const QByteArray output = server.output();
    QVERIFY2(exitCode == 0, output.constData());
    QVERIFY2(output.contains("DbUpdater: update to version: 19"), output.constData());
    QVERIFY2(!output.contains("DBUpdater: query error:"), output.constData());
    QCOMPARE(version(db), 19);
    QCOMPARE(count(db, visibleParts), parts);
    QString error;
    const QStringList rows = LegacyDatabase::dump(db, &error);
    QVERIFY2(!rows.isEmpty(), qPrintable(error));

    // The output is the second start's alone.
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.stop(), 0);
    QVERIFY(!server.output().contains("DbUpdater: update to version:"));
    QCOMPARE(LegacyDatabase::dump(db, &error), rows);
}

void DbUpdaterStartTest::mandatoryFailureStopsTheServer()
{
    TestServer server(m_bus);
    QSqlDatabase db;
    QVERIFY(prepare(server, 9, &db));
    // A database in which the new collection table already holds a collection of its own while the
    // locations are still there: update 10 must not replace either.
    const std::shared_ptr<DbInitializer> initializer = DbInitializer::createInstance(db, QStringLiteral(":talvoridb.xml"));
    QVERIFY2(initializer->run(), qPrintable(initializer->errorMsg()));
    QSqlQuery query(db);
    QVERIFY2(query.exec(QStringLiteral("INSERT INTO CollectionTable (name, resourceId) VALUES ('stray', 2)")),
             qPrintable(query.lastError().text()));
    const qint64 locations = count(db, QStringLiteral("LocationTable"));
    const qint64 items = count(db, QStringLiteral("PimItemTable"));

    QVERIFY(!server.start());
    const QByteArray output = server.output() + server.errorLog();
    QVERIFY2(output.contains("Unable to initialize database."), output.constData());
    QVERIFY2(output.contains("CollectionTable holds collections besides the search root"), output.constData());

    QCOMPARE(version(db), 9);
    QCOMPARE(count(db, QStringLiteral("LocationTable")), locations);
    QCOMPARE(count(db, QStringLiteral("CollectionTable")), qint64(2));
    QCOMPARE(count(db, QStringLiteral("PimItemTable")), items);
}

QTEST_GUILESS_MAIN(DbUpdaterStartTest)
#include "tst_dbupdaterstart.moc"

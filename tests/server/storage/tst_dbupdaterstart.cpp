// The real server starting on a database an older version left (on SQLite through the server's own
// driver, on MariaDB or PostgreSQL by TALVORI_TEST_BACKEND): it upgrades it and runs, the next
// start changes nothing, and a mandatory update that cannot apply stops it with the fatal line and
// leaves the data where it was.

#include "legacydatabase.h"
#include "serverdatabase.h"
#include "serverprocess.h"
#include "storage/dbinitializer.h"
#include "tempenvironment.h"
#include "testbus.h"

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
    // A home with its own database, filled as version left it.
    bool prepare(TempEnvironment &home, ServerDatabase &database, int version, QSqlDatabase *db);
    // Stops a started server through its bus object rather than SIGTERM: the server installs its
    // signal handler only after it has written the files start() waits for.
    static int stopWhenRunning(ServerProcess &server);
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

bool DbUpdaterStartTest::prepare(TempEnvironment &home, ServerDatabase &database, int version, QSqlDatabase *db)
{
    m_bus.exportTo(home);
    if (!database.start())
        return false;
    // The SQLite file lives where the server looks for it.
    QDir().mkpath(home.dataHome() + QLatin1String("/talvori"));
    *db = database.addConnection(QStringLiteral("legacy"));
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

int DbUpdaterStartTest::stopWhenRunning(ServerProcess &server)
{
    // The call is answered on the server's main thread, once its event loop runs.
    const QDBusMessage quit = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/Server"),
                                                             QStringLiteral("org.freedesktop.Talvori.Server"), QStringLiteral("quit"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(quit, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qWarning() << "quit:" << reply.errorMessage();
    server.process().waitForFinished(20000);
    return server.stop();
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
    TempEnvironment home;
    ServerDatabase database(home);
    QSqlDatabase db;
    QVERIFY(prepare(home, database, 8, &db));
    // The server makes hidden items visible at every start, so only the other parts must stay.
    const QString visibleParts = QStringLiteral("PartTable WHERE name <> 'ATR:HIDDEN'");
    const qint64 parts = count(db, visibleParts);

    QStringList rows;
    {
        ServerProcess server(home);
        QVERIFY2(server.start(), server.output().constData());
        const int exitCode = stopWhenRunning(server);
        const QByteArray output = server.output();
        QVERIFY2(exitCode == 0, output.constData());
        QVERIFY2(output.contains("DbUpdater: update to version: 19"), output.constData());
        QVERIFY2(!output.contains("DBUpdater: query error:"), output.constData());
    }
    QCOMPARE(version(db), 19);
    QCOMPARE(count(db, visibleParts), parts);
    QString error;
    rows = LegacyDatabase::dump(db, &error);
    QVERIFY2(!rows.isEmpty(), qPrintable(error));

    ServerProcess again(home);
    QVERIFY2(again.start(), again.output().constData());
    QCOMPARE(stopWhenRunning(again), 0);
    QVERIFY(!again.output().contains("DbUpdater: update to version:"));
    QCOMPARE(LegacyDatabase::dump(db, &error), rows);
}

void DbUpdaterStartTest::mandatoryFailureStopsTheServer()
{
    TempEnvironment home;
    ServerDatabase database(home);
    QSqlDatabase db;
    QVERIFY(prepare(home, database, 9, &db));
    // A database in which the new collection table already holds a collection of its own while the
    // locations are still there: update 10 must not replace either.
    const std::shared_ptr<DbInitializer> initializer = DbInitializer::createInstance(db, QStringLiteral(":talvoridb.xml"));
    QVERIFY2(initializer->run(), qPrintable(initializer->errorMsg()));
    QSqlQuery query(db);
    QVERIFY2(query.exec(QStringLiteral("INSERT INTO CollectionTable (name, resourceId) VALUES ('stray', 2)")),
             qPrintable(query.lastError().text()));
    const qint64 locations = count(db, QStringLiteral("LocationTable"));
    const qint64 items = count(db, QStringLiteral("PimItemTable"));

    ServerProcess server(home);
    server.process().setProcessEnvironment(home.environment());
    server.process().start(ServerProcess::executable(QStringLiteral("talvoriserver")), QStringList());
    QVERIFY(server.process().waitForFinished(20000));
    QVERIFY(server.process().exitStatus() != QProcess::NormalExit || server.process().exitCode() != 0);
    const QByteArray output = server.output();
    QVERIFY2(output.contains("Unable to initialize database."), output.constData());
    QVERIFY2(output.contains("CollectionTable holds collections besides the search root"), output.constData());

    QCOMPARE(version(db), 9);
    QCOMPARE(count(db, QStringLiteral("LocationTable")), locations);
    QCOMPARE(count(db, QStringLiteral("CollectionTable")), qint64(2));
    QCOMPARE(count(db, QStringLiteral("PimItemTable")), items);
}

QTEST_GUILESS_MAIN(DbUpdaterStartTest)
#include "tst_dbupdaterstart.moc"

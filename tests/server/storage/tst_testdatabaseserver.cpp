#include "testdatabaseserver.h"

#include <QProcess>
#include <QTest>

// The database test fixture on a machine without the servers: a clear reason, a failure in CI
// and a skip elsewhere, never a silent pass.
class TestDatabaseServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void missingServer_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("package");
        QTest::newRow("MariaDB") << int(TestDatabaseServer::MariaDb) << QStringLiteral("mariadb-server");
        QTest::newRow("PostgreSQL") << int(TestDatabaseServer::PostgreSql) << QStringLiteral("postgresql");
    }

    void missingServer()
    {
        QFETCH(int, kind);
        QFETCH(QString, package);
        qputenv("TALVORI_TEST_SERVER_PATH", "/nonexistent");
        TestDatabaseServer server(static_cast<TestDatabaseServer::Kind>(kind));
        QVERIFY(!server.start());
        QVERIFY2(server.errorString().contains(package), qPrintable(server.errorString()));
        QVERIFY(!server.isRunning());
        qunsetenv("TALVORI_TEST_SERVER_PATH");
    }

    // A whole database test program run without the servers, once as in CI and once as on a
    // developer's machine.
    void missingServerInTestProgram_data()
    {
        QTest::addColumn<QString>("ci");
        QTest::addColumn<bool>("fails");
        QTest::newRow("CI") << QStringLiteral("true") << true;
        QTest::newRow("elsewhere") << QString() << false;
    }

    void missingServerInTestProgram()
    {
        QFETCH(QString, ci);
        QFETCH(bool, fails);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TALVORI_TEST_SERVER_PATH"), QStringLiteral("/nonexistent"));
        env.remove(QStringLiteral("TALVORI_REQUIRE_DB_SERVERS"));
        if (ci.isEmpty())
            env.remove(QStringLiteral("CI"));
        else
            env.insert(QStringLiteral("CI"), ci);
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(qEnvironmentVariable("TALVORI_BUILD_DIR") + QLatin1String("/tests/tst_dbbackends"),
                      QStringList());
        QVERIFY(process.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(process.readAll());
        QVERIFY2(output.contains(QLatin1String("MariaDB test server: mariadbd/mysqld or mariadb-install-db not found")),
                 qPrintable(output));
        QCOMPARE(process.exitCode() != 0, fails);
        QVERIFY2(output.contains(fails ? QLatin1String("FAIL!") : QLatin1String("SKIP")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseServerTest)
#include "tst_testdatabaseserver.moc"

#include "storage/dbconfig.h"
#include "storage/sqlitedriver.h"

#include "testdatabaseserver.h"

#include <xdgbasedirs.h>

#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// The three databases behind the backends, as real servers this program starts: awkward values
// survive INSERT and SELECT through bound values on each, and the MySQL and PostgreSQL backends
// reach an existing server when "StartServer" is false and create their database there.
class DbBackendsTest : public QObject
{
    Q_OBJECT

private:
    TestDatabaseServer m_mariadb{TestDatabaseServer::MariaDb};
    TestDatabaseServer m_postgres{TestDatabaseServer::PostgreSql};
    QTemporaryDir m_dir;

    QSqlDatabase connection(const QString &driver)
    {
        const QString name = QLatin1String("values-") + driver;
        if (QSqlDatabase::contains(name))
            return QSqlDatabase::database(name);
        QSqlDatabase db;
        if (driver == QLatin1String("QMYSQL"))
            db = m_mariadb.addConnection(name);
        else if (driver == QLatin1String("QPSQL"))
            db = m_postgres.addConnection(name);
        else {
            db = QSqlDatabase::addDatabase(driver, name);
            db.setDatabaseName(m_dir.filePath(driver + QLatin1String(".db")));
        }
        if (!db.open())
            qWarning() << driver << db.lastError().text();
        return db;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SqliteDriver::registerDriver();
        TALVORI_START_TEST_DB_SERVER(m_mariadb);
        TALVORI_START_TEST_DB_SERVER(m_postgres);
        qInfo("MariaDB test server: data directory %lld ms, start %lld ms; PostgreSQL: %lld ms, %lld ms",
              m_mariadb.initMs(), m_mariadb.startMs(), m_postgres.initMs(), m_postgres.startMs());

        const QMap<QString, QString> tables = {
            {QStringLiteral("QSQLITE"), QStringLiteral("CREATE TABLE vals (id INTEGER PRIMARY KEY, t TEXT, b BLOB)")},
            {QStringLiteral("QSQLITE3"), QStringLiteral("CREATE TABLE vals (id INTEGER PRIMARY KEY, t TEXT, b BLOB)")},
            {QStringLiteral("QMYSQL"),
             QStringLiteral("CREATE TABLE vals (id BIGINT PRIMARY KEY, t LONGTEXT, b LONGBLOB) CHARACTER SET utf8mb4")},
            {QStringLiteral("QPSQL"), QStringLiteral("CREATE TABLE vals (id BIGINT PRIMARY KEY, t TEXT, b BYTEA)")},
        };
        for (auto it = tables.cbegin(); it != tables.cend(); ++it) {
            QSqlDatabase db = connection(it.key());
            QVERIFY2(db.isOpen(), qPrintable(it.key() + QLatin1Char(' ') + db.lastError().text()));
            QSqlQuery query(db);
            QVERIFY2(query.exec(it.value()), qPrintable(query.lastError().text()));
        }
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("stored"); // false: the database must refuse the value, not mangle it

        QByteArray allBytes;
        for (int i = 0; i < 256; ++i)
            allBytes.append(char(i));
        const QList<std::pair<const char *, QString>> texts = {
            {"quotes", QStringLiteral("it's \"quoted\" `ticked` '' \\' ")},
            {"backslashes", QStringLiteral("C:\\dir\\new\\table \\\\ \\0 \\x27 %_")},
            {"statement text", QStringLiteral("'); DROP TABLE vals; -- $1 ? :name")},
            {"non-ASCII", QString::fromUtf8("Grüße, дом, 日本語, \xF0\x9F\xA6\x8A, \xE2\x80\xAE")},
        };
        const QStringList drivers = {QStringLiteral("QSQLITE"), QStringLiteral("QSQLITE3"), QStringLiteral("QMYSQL"),
                                     QStringLiteral("QPSQL")};
        for (const QString &driver : drivers) {
            for (const auto &[name, text] : texts)
                QTest::addRow("%s %s", qPrintable(driver), name) << driver << text << allBytes << true;
            // PostgreSQL text cannot hold NUL; bytea can.
            QTest::addRow("%s NUL in text", qPrintable(driver))
                << driver << QString::fromUtf8("a\0b\0", 4) << QByteArray("\0", 1)
                << (driver != QLatin1String("QPSQL"));
            QTest::addRow("%s empty", qPrintable(driver))
                << driver << QString(QLatin1String("")) << QByteArray("") << true;
        }
    }

    void roundTrip()
    {
        QFETCH(QString, driver);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, stored);
        static qint64 nextId = 0;
        const qint64 id = ++nextId;

        QSqlDatabase db = connection(driver);
        QVERIFY(db.isOpen());
        QSqlQuery insert(db);
        QVERIFY(insert.prepare(QStringLiteral("INSERT INTO vals (id, t, b) VALUES (?, ?, ?)")));
        insert.addBindValue(id);
        insert.addBindValue(text);
        insert.addBindValue(bytes);
        const bool inserted = insert.exec();
        if (!stored) {
            QVERIFY2(!inserted, "a value the database cannot hold was accepted");
            QVERIFY(insert.lastError().isValid());
            return;
        }
        QVERIFY2(inserted, qPrintable(insert.lastError().text()));

        QSqlQuery select(db);
        QVERIFY(select.prepare(QStringLiteral("SELECT t, b FROM vals WHERE id = ?")));
        select.addBindValue(id);
        QVERIFY2(select.exec(), qPrintable(select.lastError().text()));
        QVERIFY(select.next());
        QCOMPARE(select.value(0).toString(), text);
        QCOMPARE(select.value(1).toByteArray(), bytes);

        // The value also works as a bound comparison value.
        QSqlQuery match(db);
        QVERIFY(match.prepare(QStringLiteral("SELECT id FROM vals WHERE t = ? AND b = ?")));
        match.addBindValue(text);
        match.addBindValue(bytes);
        QVERIFY2(match.exec(), qPrintable(match.lastError().text()));
        QVERIFY(match.next());
        QCOMPARE(match.value(0).toLongLong(), id);
        QVERIFY(!match.next());
    }

    // "StartServer" false with Host, User, Password and Name filled: the backend connects to the
    // server this test started, and its init() keeps those values.
    void existingServer_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::newRow("QMYSQL") << QStringLiteral("QMYSQL");
        QTest::newRow("QPSQL") << QStringLiteral("QPSQL");
    }

    void existingServer()
    {
        QFETCH(QString, driver);
        const TestDatabaseServer &server = driver == QLatin1String("QMYSQL") ? m_mariadb : m_postgres;
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
        {
            QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
            settings.setValue(QStringLiteral("General/Driver"), driver);
            settings.beginGroup(driver);
            settings.setValue(QStringLiteral("StartServer"), false);
            settings.setValue(QStringLiteral("Host"), server.hostName());
            settings.setValue(QStringLiteral("User"), server.userName());
            settings.setValue(QStringLiteral("Password"), server.password());
            settings.setValue(QStringLiteral("Name"), server.databaseName());
            settings.setValue(QStringLiteral("Options"), server.connectOptions());
        }

        const std::unique_ptr<DbConfig> config = DbConfig::create(driver);
        {
            QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
            QVERIFY(config->init(settings));
        }
        QVERIFY(!config->useInternalServer());
        config->startInternalServer(); // nothing to start for an existing server
        QCOMPARE(config->databaseName(), server.databaseName());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(config->driverName(), QStringLiteral("existing"));
            config->apply(db);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery query(db);
            QVERIFY(query.exec(driver == QLatin1String("QMYSQL")
                                   ? QStringLiteral("SELECT DATABASE(), CURRENT_USER()")
                                   : QStringLiteral("SELECT current_database(), current_user")));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), server.databaseName());
            QVERIFY(query.value(1).toString().startsWith(server.userName()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("existing"));
        config->stopInternalServer();
        QVERIFY(server.isRunning());
    }

    // createDatabase() on an existing server: a missing database is created (its name quoted, so
    // one that is no plain identifier works), an existing one is left alone, and a server that
    // refuses the login gives false instead of ending the process. SQLite has nothing to create.
    void createDatabase_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("created");
        for (const QString &driver : {QStringLiteral("QMYSQL"), QStringLiteral("QPSQL")}) {
            QTest::addRow("%s new", qPrintable(driver)) << driver << QStringLiteral("talvori-created") << QString() << true;
            QTest::addRow("%s existing", qPrintable(driver))
                << driver << QStringLiteral("talvoritest") << QString() << true;
            QTest::addRow("%s wrong password", qPrintable(driver))
                << driver << QStringLiteral("talvori-refused") << QStringLiteral("wrong") << false;
        }
        QTest::newRow("QSQLITE") << QStringLiteral("QSQLITE") << m_dir.filePath(QStringLiteral("created.db")) << QString()
                                 << true;
    }

    void createDatabase()
    {
        QFETCH(QString, driver);
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, created);
        const bool sqlite = driver == QLatin1String("QSQLITE");
        const TestDatabaseServer &server = driver == QLatin1String("QMYSQL") ? m_mariadb : m_postgres;
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
        {
            QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
            settings.beginGroup(driver);
            settings.setValue(QStringLiteral("Name"), name);
            if (!sqlite) {
                settings.setValue(QStringLiteral("StartServer"), false);
                settings.setValue(QStringLiteral("Host"), server.hostName());
                settings.setValue(QStringLiteral("User"), server.userName());
                settings.setValue(QStringLiteral("Password"), password.isEmpty() ? server.password() : password);
                settings.setValue(QStringLiteral("Options"), server.connectOptions());
            }
        }
        const std::unique_ptr<DbConfig> config = DbConfig::create(driver);
        {
            QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
            QVERIFY(config->init(settings));
        }
        QCOMPARE(config->createDatabase(), created);
        QVERIFY(!QSqlDatabase::contains(QStringLiteral("initConnection")));
        if (!created)
            return;
        QCOMPARE(config->createDatabase(), true);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(config->driverName(), QStringLiteral("created"));
            config->apply(db);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery query(db);
            QVERIFY2(query.exec(QStringLiteral("CREATE TABLE probe (id INTEGER)")), qPrintable(query.lastError().text()));
            QVERIFY(query.exec(QStringLiteral("DROP TABLE probe")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("created"));
    }
};

QTEST_GUILESS_MAIN(DbBackendsTest)
#include "tst_dbbackends.moc"

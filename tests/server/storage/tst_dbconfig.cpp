#include "storage/dbconfig.h"
#include "storage/dbconfigmysql.h"
#include "storage/dbconfigmysqlembedded.h"
#include "storage/dbconfigpostgresql.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// Backend choice, the "General" values, the keys each backend reads and writes back, the socket
// directory and the edits of a fresh PostgreSQL cluster's configuration. Nothing here starts a
// server; see tst_dbserverprocess and tst_dbbackends for that.
class DbConfigTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString settingsFile() const { return XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite); }

    void writeSettings(const QVariantMap &values) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

    // init() as the server calls it, then the keys the file holds afterwards.
    QVariantMap initAndRead(DbConfig &config) const
    {
        {
            QSettings settings(settingsFile(), QSettings::IniFormat);
            if (!config.init(settings))
                return {{QStringLiteral("init"), false}};
        }
        QSettings settings(settingsFile(), QSettings::IniFormat);
        QVariantMap result;
        for (const QString &key : settings.allKeys())
            result.insert(key, settings.value(key));
        return result;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_dir->filePath(QStringLiteral("sysconfig"))));
        qputenv("HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("home"))));
        qputenv("USER", "alice");
    }

    void backendChoice_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("expected"); // empty: no backend
        QTest::newRow("empty means MySQL") << QString() << QStringLiteral("QMYSQL");
        QTest::newRow("QMYSQL") << QStringLiteral("QMYSQL") << QStringLiteral("QMYSQL");
        QTest::newRow("QPSQL") << QStringLiteral("QPSQL") << QStringLiteral("QPSQL");
        QTest::newRow("QSQLITE") << QStringLiteral("QSQLITE") << QStringLiteral("QSQLITE");
        QTest::newRow("QSQLITE3") << QStringLiteral("QSQLITE3") << QStringLiteral("QSQLITE3");
        QTest::newRow("embedded") << QStringLiteral("QMYSQL_EMBEDDED")
                                  << (QSqlDatabase::isDriverAvailable(QStringLiteral("QMYSQL_EMBEDDED"))
                                          ? QStringLiteral("QMYSQL_EMBEDDED")
                                          : QString());
        QTest::newRow("case matters") << QStringLiteral("qsqlite") << QString();
        QTest::newRow("unknown") << QStringLiteral("QODBC") << QString();
    }

    void backendChoice()
    {
        QFETCH(QString, driver);
        QFETCH(QString, expected);
        const std::unique_ptr<DbConfig> config = DbConfig::create(driver);
        QCOMPARE(config ? config->driverName() : QString(), expected);
        if (config)
            QVERIFY(QSqlDatabase::isDriverAvailable(config->driverName()));
    }

    void generalValues_data()
    {
        QTest::addColumn<QVariant>("threshold");
        QTest::addColumn<QVariant>("external");
        QTest::addColumn<qint64>("expectedThreshold");
        QTest::addColumn<bool>("expectedExternal");
        QTest::newRow("defaults") << QVariant() << QVariant() << qint64(4096) << true;
        QTest::newRow("set") << QVariant(QStringLiteral("100000")) << QVariant(QStringLiteral("false"))
                             << qint64(100000) << false;
        QTest::newRow("negative") << QVariant(QStringLiteral("-5")) << QVariant() << qint64(0) << true;
        QTest::newRow("not a number") << QVariant(QStringLiteral("abc")) << QVariant() << qint64(0) << true;
    }

    void generalValues()
    {
        QFETCH(QVariant, threshold);
        QFETCH(QVariant, external);
        QFETCH(qint64, expectedThreshold);
        QFETCH(bool, expectedExternal);
        QVariantMap values;
        if (threshold.isValid())
            values.insert(QStringLiteral("General/SizeThreshold"), threshold);
        if (external.isValid())
            values.insert(QStringLiteral("General/ExternalPayload"), external);
        writeSettings(values);
        const std::unique_ptr<DbConfig> config = DbConfig::create(QStringLiteral("QSQLITE"));
        QCOMPARE(config->sizeThreshold(), expectedThreshold);
        QCOMPARE(config->useExternalPayloadFile(), expectedExternal);
    }

    // What each backend writes back into an empty settings file, and what it leaves out.
    void writeBack_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QVariantMap>("preset");
        QTest::addColumn<QVariantMap>("expected"); // an invalid value: the key must be absent
        const QString data = QStringLiteral("@DATA@");
        QTest::newRow("QMYSQL") << QStringLiteral("QMYSQL") << QVariantMap()
                                << QVariantMap{{QStringLiteral("QMYSQL/Name"), QStringLiteral("talvori")},
                                               {QStringLiteral("QMYSQL/Host"), QString()},
                                               {QStringLiteral("QMYSQL/Options"), QString()},
                                               {QStringLiteral("QMYSQL/StartServer"), true},
                                               {QStringLiteral("QMYSQL/User"), QVariant()},
                                               {QStringLiteral("QMYSQL/Password"), QVariant()}};
        QTest::newRow("QMYSQL existing server")
            << QStringLiteral("QMYSQL")
            << QVariantMap{{QStringLiteral("QMYSQL/StartServer"), false},
                           {QStringLiteral("QMYSQL/Host"), QStringLiteral("db.example")},
                           {QStringLiteral("QMYSQL/User"), QStringLiteral("u")},
                           {QStringLiteral("QMYSQL/Password"), QStringLiteral("p")},
                           {QStringLiteral("QMYSQL/Name"), QStringLiteral("mail")}}
            << QVariantMap{{QStringLiteral("QMYSQL/Name"), QStringLiteral("mail")},
                           {QStringLiteral("QMYSQL/Host"), QStringLiteral("db.example")},
                           {QStringLiteral("QMYSQL/User"), QStringLiteral("u")},
                           {QStringLiteral("QMYSQL/Password"), QStringLiteral("p")},
                           {QStringLiteral("QMYSQL/StartServer"), false}};
        QTest::newRow("QPSQL existing server") << QStringLiteral("QPSQL") << QVariantMap()
                                               << QVariantMap{{QStringLiteral("QPSQL/Name"), QStringLiteral("talvori")},
                                                              {QStringLiteral("QPSQL/StartServer"), false},
                                                              {QStringLiteral("QPSQL/Host"), QVariant()},
                                                              {QStringLiteral("QPSQL/Options"), QVariant()},
                                                              {QStringLiteral("QPSQL/ServerPath"), QVariant()},
                                                              {QStringLiteral("QPSQL/InitDbPath"), QVariant()}};
        QTest::newRow("QPSQL own server")
            << QStringLiteral("QPSQL") << QVariantMap{{QStringLiteral("QPSQL/StartServer"), true}}
            << QVariantMap{{QStringLiteral("QPSQL/Name"), QStringLiteral("talvori")},
                           {QStringLiteral("QPSQL/StartServer"), true},
                           {QStringLiteral("QPSQL/Host"), data + QStringLiteral("/talvori/db_misc")}};
        QTest::newRow("QSQLITE3") << QStringLiteral("QSQLITE3") << QVariantMap()
                                  << QVariantMap{{QStringLiteral("QSQLITE3/Name"),
                                                  data + QStringLiteral("/talvori/talvori.db")},
                                                 {QStringLiteral("QSQLITE3/Host"), QVariant()}};
    }

    void writeBack()
    {
        QFETCH(QString, driver);
        QFETCH(QVariantMap, preset);
        QFETCH(QVariantMap, expected);
        writeSettings(preset);
        const std::unique_ptr<DbConfig> config = DbConfig::create(driver);
        const QVariantMap written = initAndRead(*config);
        const QString data = m_dir->filePath(QStringLiteral("data"));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            if (!it.value().isValid()) {
                QVERIFY2(!written.contains(it.key()), qPrintable(it.key()));
                continue;
            }
            QVERIFY2(written.contains(it.key()), qPrintable(it.key()));
            QString value = it.value().toString();
            value.replace(QLatin1String("@DATA@"), data);
            QCOMPARE(written.value(it.key()).toString(), value);
        }
        QCOMPARE(config->databaseName(), written.value(driver + QLatin1String("/Name")).toString());
    }

    void sqliteCreatesItsFile()
    {
        const std::unique_ptr<DbConfig> config = DbConfig::create(QStringLiteral("QSQLITE"));
        initAndRead(*config);
        const QFileInfo file(config->databaseName());
        QVERIFY(file.exists());
        QCOMPARE(file.size(), 0);
        QVERIFY(!config->useInternalServer());
    }

    void serverPathsAreFound_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("QMYSQL") << QStringLiteral("QMYSQL") << QStringList{QStringLiteral("QMYSQL/ServerPath")};
        QTest::newRow("QPSQL") << QStringLiteral("QPSQL")
                               << QStringList{QStringLiteral("QPSQL/ServerPath"), QStringLiteral("QPSQL/InitDbPath")};
    }

    // The programs Debian installs off PATH (/usr/sbin, /usr/lib/postgresql/<version>/bin).
    void serverPathsAreFound()
    {
        QFETCH(QString, driver);
        QFETCH(QStringList, keys);
        writeSettings({{driver + QLatin1String("/StartServer"), true}});
        const std::unique_ptr<DbConfig> config = DbConfig::create(driver);
        const QVariantMap written = initAndRead(*config);
        for (const QString &key : keys) {
            if (!written.contains(key))
                QSKIP(qPrintable(key + QLatin1String(": the database server is not installed here")));
            QVERIFY2(QFileInfo(written.value(key).toString()).isExecutable(),
                     qPrintable(written.value(key).toString()));
        }
    }

    // A private MySQL server is reached through its own socket and without credentials, however
    // the settings file is filled; an existing one gets exactly what the file says.
    void mysqlApply_data()
    {
        QTest::addColumn<bool>("startServer");
        QTest::newRow("own server") << true;
        QTest::newRow("existing server") << false;
    }

    void mysqlApply()
    {
        QFETCH(bool, startServer);
        writeSettings({{QStringLiteral("QMYSQL/StartServer"), startServer},
                       {QStringLiteral("QMYSQL/Host"), QStringLiteral("h")},
                       {QStringLiteral("QMYSQL/User"), QStringLiteral("u")},
                       {QStringLiteral("QMYSQL/Password"), QStringLiteral("p")},
                       {QStringLiteral("QMYSQL/Options"), QStringLiteral("MYSQL_OPT_RECONNECT=1")}});
        DbConfigMysql config;
        initAndRead(config);
        QCOMPARE(config.useInternalServer(), startServer);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), QStringLiteral("apply"));
        config.apply(db);
        QCOMPARE(db.databaseName(), QStringLiteral("talvori"));
        if (startServer) {
            QVERIFY(db.hostName().isEmpty() && db.userName().isEmpty() && db.password().isEmpty());
            QCOMPARE(db.connectOptions(),
                     QLatin1String("UNIX_SOCKET=") + m_dir->filePath(QStringLiteral("data"))
                         + QLatin1String("/talvori/db_misc/mysql.socket;MYSQL_OPT_RECONNECT=1"));
        } else {
            QCOMPARE(db.hostName(), QStringLiteral("h"));
            QCOMPARE(db.userName(), QStringLiteral("u"));
            QCOMPARE(db.password(), QStringLiteral("p"));
            QCOMPARE(db.connectOptions(), QStringLiteral("MYSQL_OPT_RECONNECT=1"));
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("apply"));
    }

    void embeddedDataDirectory()
    {
        DbConfigMysqlEmbedded config;
        const QVariantMap written = initAndRead(config);
        const QString dataDir = m_dir->filePath(QStringLiteral("data")) + QLatin1String("/talvori/db/");
        QCOMPARE(written.value(QStringLiteral("QMYSQL_EMBEDDED/Options")).toString(),
                 QLatin1String("SERVER_DATADIR=") + dataDir);
        QVERIFY(QFileInfo(dataDir + QLatin1String("talvori")).isDir());
        QVERIFY(!config.useInternalServer());
    }

    void socketDirectory_data()
    {
        QTest::addColumn<QVariant>("setting");
        QTest::addColumn<QString>("expected"); // relative to the temporary directory
        QTest::newRow("default") << QVariant() << QStringLiteral("default/dir");
        QTest::newRow("relative with user")
            << QVariant(QStringLiteral("sockets/$USER")) << QStringLiteral("home/sockets/alice");
        QTest::newRow("absolute with user twice")
            << QVariant(QStringLiteral("@TMP@/s-$USER/$USER")) << QStringLiteral("s-alice/alice");
    }

    void socketDirectory()
    {
        QFETCH(QVariant, setting);
        QFETCH(QString, expected);
        if (setting.isValid())
            writeSettings({{QStringLiteral("Connection/SocketDirectory"),
                            setting.toString().replace(QLatin1String("@TMP@"), m_dir->path())}});
        const QString path = preferredSocketDirectory(m_dir->filePath(QStringLiteral("default/dir")));
        QCOMPARE(path, m_dir->filePath(expected));
        QVERIFY(QFileInfo(path).isDir());
    }

    void socketDirectoryWithoutUser()
    {
        qunsetenv("USER");
        writeSettings({{QStringLiteral("Connection/SocketDirectory"), QStringLiteral("s/$USER")}});
        QCOMPARE(preferredSocketDirectory(QString()), m_dir->filePath(QStringLiteral("home/s/$USER")));
    }

    void postgresConfiguration_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("expected");
        const QString tail = QStringLiteral("max_connections = 100\n");
        QTest::newRow("current sample")
            << QStringLiteral("#listen_addresses = 'localhost'\t\t# what IP address(es) to listen on;\n"
                              "#unix_socket_directories = '/var/run/postgresql'\t# comma-separated list\n"
                              "#standard_conforming_strings = on\n")
                + tail
            << QStringLiteral(
                   "listen_addresses = ''\nunix_socket_directories = '/s/o''k'\nstandard_conforming_strings = on\n")
                + tail;
        QTest::newRow("old sample")
            << QStringLiteral(
                   "#listen_addresses = 'localhost'\n#unix_socket_directory = ''\n#standard_conforming_strings = off\n")
                + tail
            << QStringLiteral(
                   "listen_addresses = ''\nunix_socket_directory = '/s/o''k'\nstandard_conforming_strings = on\n")
                + tail;
        QTest::newRow("settings missing") << tail
                                          << tail
                + QStringLiteral("listen_addresses = ''\nunix_socket_directories = '/s/o''k'\n"
                                 "standard_conforming_strings = on\n");
    }

    void postgresConfiguration()
    {
        QFETCH(QString, original);
        QFETCH(QString, expected);
        QCOMPARE(DbConfigPostgresql::editedServerConfiguration(original, QStringLiteral("/s/o'k")), expected);
    }
};

QTEST_GUILESS_MAIN(DbConfigTest)
#include "tst_dbconfig.moc"

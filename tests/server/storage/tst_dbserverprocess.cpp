#include "serveraccount.h"
#include "testdatabaseserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The private MySQL and PostgreSQL servers end to end: dbconfigrunner plays the storage server
// (choose the backend, init, start, one write, stop) in a throwaway user directory, as the
// unprivileged test account when the tests run as root.
class DbServerProcessTest : public QObject
{
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        bool crashed = true;
        QString out;
        QString err;
    };

    std::unique_ptr<QTemporaryDir> m_base;
    QString m_runner;
    QString m_libraryPath;

    QString dataHome() const { return m_base->filePath(QStringLiteral("data/talvori")); }
    QString settingsFile() const { return m_base->filePath(QStringLiteral("config/talvori/talvoriserverrc")); }

    void writeSettings(const QVariantMap &values) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

    static QString readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    static bool writeFile(const QString &path, const QByteArray &contents)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
    }

    // Processes whose command line mentions path: a stopped server must leave none behind.
    static QStringList processesUsing(const QString &path)
    {
        QStringList found;
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
        for (const QString &pid : pids) {
            QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            QByteArray cmdline = file.readAll();
            cmdline.replace('\0', ' ');
            if (cmdline.contains(QFile::encodeName(path)))
                found.append(pid + QLatin1Char(' ') + QString::fromLocal8Bit(cmdline));
        }
        return found;
    }

    Run run()
    {
        QString error;
        if (!ServerAccount::handOver(m_base->path(), &error))
            qWarning() << error;
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_base->filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_base->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_base->filePath(QStringLiteral("sysconfig")));
        env.insert(QStringLiteral("HOME"), m_base->filePath(QStringLiteral("home")));
        // A starting MySQL server deletes every temporary table file in its temporary directory,
        // so servers of one account that share /tmp break each other's set-up.
        env.insert(QStringLiteral("TMPDIR"), m_base->filePath(QStringLiteral("tmp")));
        env.insert(QStringLiteral("USER"), ServerAccount::name());
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        if (!m_libraryPath.isEmpty())
            env.insert(QStringLiteral("LD_LIBRARY_PATH"), m_libraryPath);
        QProcess process;
        process.setWorkingDirectory(m_base->path());
        ServerAccount::prepare(process, m_runner, QStringList(), env);
        process.start();
        Run result;
        if (!process.waitForFinished(240000)) {
            process.kill();
            process.waitForFinished();
        }
        result.crashed = process.exitStatus() != QProcess::NormalExit;
        result.exitCode = process.exitCode();
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        qDebug().noquote() << result.out.trimmed();
        return result;
    }

    // The test log cuts long failure messages, so the whole story goes out as a warning and the
    // message itself stays short.
    QString describe(const Run &run) const
    {
        const QString summary
            = QStringLiteral("exit %1%2").arg(run.exitCode).arg(run.crashed ? QStringLiteral(" (crashed)") : QString());
        qWarning().noquote() << summary << "\nstdout:" << run.out.right(4000) << "\nstderr:" << run.err.right(4000)
                             << "\ndatabase server log:"
                             << readFile(dataHome() + QLatin1String("/db_data/mysql.err")).left(4000);
        return summary;
    }

    // The runner must be reachable by the server account; a build tree below a private home
    // directory is not, so then it runs from a copy with its libraries.
    bool prepareRunner()
    {
        const QString buildDir = qEnvironmentVariable("TALVORI_BUILD_DIR");
        m_runner = buildDir + QLatin1String("/tests/dbconfigrunner");
        if (!QFileInfo(m_runner).isExecutable())
            return false;
        if (!ServerAccount::switchesUser())
            return true;
        QProcess probe;
        ServerAccount::prepare(probe, QStringLiteral("/bin/sh"),
                               {QStringLiteral("-c"), QStringLiteral("test -x \"$0\" && test -r \"$1\""), m_runner,
                                buildDir + QLatin1String("/lib/libtalvoriprivate.so")});
        probe.start();
        if (probe.waitForFinished(30000) && probe.exitCode() == 0)
            return true;
        const QString copy = m_base->filePath(QStringLiteral("bin"));
        QDir().mkpath(copy);
        QDirIterator libs(buildDir + QLatin1String("/lib"), {QStringLiteral("*.so*")}, QDir::Files);
        while (libs.hasNext()) {
            const QString lib = libs.next();
            QFile::copy(lib, copy + QLatin1Char('/') + QFileInfo(lib).fileName());
        }
        QFile::copy(m_runner, copy + QLatin1String("/dbconfigrunner"));
        m_runner = copy + QLatin1String("/dbconfigrunner");
        m_libraryPath = copy;
        return true;
    }

private Q_SLOTS:
    void init()
    {
        // Short, since the socket directory lies below it.
        m_base = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/tvsp-XXXXXX"));
        QVERIFY(m_base->isValid());
        QString error;
        QVERIFY2(ServerAccount::ensureExists(&error), qPrintable(error));
        QVERIFY(ServerAccount::makeTraversable(m_base->path()));
        QVERIFY2(prepareRunner(), "dbconfigrunner is missing from the build tree");
        // The configuration template as installed, in a system configuration directory.
        const QString buildTemplate
            = qEnvironmentVariable("TALVORI_BUILD_DIR") + QLatin1String("/etc/xdg/talvori/mysql-global.conf");
        QVERIFY(QFile::copy(buildTemplate, m_base->filePath(QStringLiteral("sysconfig/talvori/mysql-global.conf")))
                || (QDir().mkpath(m_base->filePath(QStringLiteral("sysconfig/talvori")))
                    && QFile::copy(buildTemplate,
                                   m_base->filePath(QStringLiteral("sysconfig/talvori/mysql-global.conf")))));
        QDir().mkpath(m_base->filePath(QStringLiteral("home")));
        QDir().mkpath(m_base->filePath(QStringLiteral("tmp")));
    }

    void cleanup()
    {
        const QStringList left = processesUsing(m_base->path());
        m_base.reset();
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
    }

    void mysqlPrivateServer()
    {
        const QString server = ServerAccount::findProgram({QStringLiteral("mysqld"), QStringLiteral("mariadbd")});
        if (server.isEmpty()) {
            TALVORI_SKIP_OR_FAIL("MariaDB is not installed (mariadb-server)");
        }
        writeSettings({{QStringLiteral("General/Driver"), QStringLiteral("QMYSQL")}});
        const QString dataDir = dataHome() + QLatin1String("/db_data");
        const QString config = dataHome() + QLatin1String("/mysql.conf");
        const QString globalTemplate = m_base->filePath(QStringLiteral("sysconfig/talvori/mysql-global.conf"));

        // First start: the install tool fills the empty data directory, the configuration file
        // is built from the template, and the stop leaves no process behind.
        Run first = run();
        QVERIFY2(!first.crashed && first.exitCode == 0 && first.out.contains(QLatin1String("runs 1")),
                 qPrintable(describe(first)));
        QVERIFY(QFileInfo(dataDir + QLatin1String("/mysql")).isDir());
        QCOMPARE(readFile(config), readFile(globalTemplate));
        QVERIFY(!(QFile(config).permissions() & QFileDevice::WriteOther));
        QVERIFY(processesUsing(m_base->path()).isEmpty());
        QSettings written(settingsFile(), QSettings::IniFormat);
        QCOMPARE(written.value(QStringLiteral("QMYSQL/StartServer")).toBool(), true);
        QVERIFY(QFileInfo(written.value(QStringLiteral("QMYSQL/ServerPath")).toString()).isExecutable());

        // Second start: the server's log of the first run moves to mysql.err.old, the data stays,
        // and the configuration, still newer than its template, is left alone.
        const QDateTime configBuilt = QFileInfo(config).lastModified();
        const QString firstLog = readFile(dataDir + QLatin1String("/mysql.err"));
        QVERIFY(firstLog.contains(QLatin1String("ready for connections")));
        Run second = run();
        QVERIFY2(!second.crashed && second.exitCode == 0 && second.out.contains(QLatin1String("runs 2")),
                 qPrintable(describe(second)));
        QVERIFY(readFile(dataDir + QLatin1String("/mysql.err.old")).startsWith(firstLog));
        QVERIFY(!readFile(dataDir + QLatin1String("/mysql.err")).contains(firstLog));
        QCOMPARE(QFileInfo(config).lastModified(), configBuilt);

        // A newer local template rebuilds the configuration; the server adapts its redo log to
        // the new size itself and keeps the data. The socket lies in a directory of 89
        // characters, the longest allowed.
        QTest::qSleep(1100); // file times must differ
        const QByteArray local = "\n[mysqld]\ninnodb_log_file_size=48M\n";
        QVERIFY(writeFile(m_base->filePath(QStringLiteral("config/talvori/mysql-local.conf")), local));
        QString socketDirectory = m_base->filePath(QStringLiteral("s"));
        socketDirectory += QLatin1Char('/') + QString(89 - socketDirectory.size() - 1, QLatin1Char('x'));
        QCOMPARE(socketDirectory.size(), 89);
        writeSettings({{QStringLiteral("Connection/SocketDirectory"), socketDirectory}});
        Run third = run();
        QVERIFY2(!third.crashed && third.exitCode == 0 && third.out.contains(QLatin1String("runs 3")),
                 qPrintable(describe(third)));
        QCOMPARE(readFile(config), readFile(globalTemplate) + QString::fromUtf8(local));
        QCOMPARE(QFileInfo(dataDir + QLatin1String("/ib_logfile0")).size(), 48 * 1024 * 1024);
        QVERIFY(!QFile::exists(socketDirectory + QLatin1String("/mysql.socket"))); // removed at shutdown

        // One character more is refused before anything starts.
        writeSettings({{QStringLiteral("Connection/SocketDirectory"), socketDirectory + QLatin1Char('y')}});
        Run tooLong = run();
        QVERIFY2(tooLong.crashed || tooLong.exitCode != 0, qPrintable(describe(tooLong)));
        QVERIFY2(tooLong.err.contains(QLatin1String("MySQL cannot deal with a socket path this long. Path was: ")),
                 qPrintable(describe(tooLong)));
        QVERIFY(!tooLong.out.contains(QLatin1String("start-ms")));
    }

    void postgresPrivateServer()
    {
        QStringList versionDirs;
        const QDir postgresLib(QStringLiteral("/usr/lib/postgresql"));
        for (const QString &version : postgresLib.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            versionDirs.append(postgresLib.filePath(version + QLatin1String("/bin")));
        if (ServerAccount::findProgram({QStringLiteral("pg_ctl")}, versionDirs).isEmpty()) {
            TALVORI_SKIP_OR_FAIL("PostgreSQL is not installed (postgresql)");
        }
        writeSettings(
            {{QStringLiteral("General/Driver"), QStringLiteral("QPSQL")}, {QStringLiteral("QPSQL/StartServer"), true}});
        const QString dataDir = dataHome() + QLatin1String("/db_data");
        const QString socketDirectory = dataHome() + QLatin1String("/db_misc");

        // First start: a new cluster, configured for a socket in the socket directory only.
        Run first = run();
        QVERIFY2(!first.crashed && first.exitCode == 0 && first.out.contains(QLatin1String("runs 1")),
                 qPrintable(describe(first)));
        QVERIFY(QFile::exists(dataDir + QLatin1String("/PG_VERSION")));
        const QString conf = readFile(dataDir + QLatin1String("/postgresql.conf"));
        QVERIFY(conf.contains(QLatin1String("\nlisten_addresses = ''\n")));
        QVERIFY(conf.contains(QStringLiteral("\nunix_socket_directories = '%1'\n").arg(socketDirectory)));
        QVERIFY(conf.contains(QLatin1String("\nstandard_conforming_strings = on\n")));
        QVERIFY(!QFile::exists(dataDir + QLatin1String("/postmaster.pid")));
        QVERIFY(processesUsing(m_base->path()).isEmpty());
        QSettings written(settingsFile(), QSettings::IniFormat);
        QCOMPARE(written.value(QStringLiteral("QPSQL/Host")).toString(), socketDirectory);

        // Second start: the same cluster and database.
        const QDateTime created = QFileInfo(dataDir + QLatin1String("/PG_VERSION")).lastModified();
        Run second = run();
        QVERIFY2(!second.crashed && second.exitCode == 0 && second.out.contains(QLatin1String("runs 2")),
                 qPrintable(describe(second)));
        QCOMPARE(QFileInfo(dataDir + QLatin1String("/PG_VERSION")).lastModified(), created);
        QVERIFY(!QFile::exists(dataDir + QLatin1String("/postmaster.pid")));
    }

    void unknownDriver_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::newRow("unknown") << QStringLiteral("QODBC");
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QMYSQL_EMBEDDED")))
            QTest::newRow("embedded without its driver") << QStringLiteral("QMYSQL_EMBEDDED");
    }

    void unknownDriver()
    {
        QFETCH(QString, driver);
        writeSettings({{QStringLiteral("General/Driver"), driver}});
        Run result = run();
        QVERIFY2(result.crashed || result.exitCode != 0, qPrintable(describe(result)));
        QVERIFY2(result.err.contains(QLatin1String("Unknown database driver: ")) && result.err.contains(driver)
                     && result.err.contains(QLatin1String("Available drivers are: "))
                     && result.err.contains(QLatin1String("QSQLITE3")),
                 qPrintable(describe(result)));
        // Error lines also land in the program's error log.
        QVERIFY(readFile(dataHome() + QLatin1String("/dbconfigrunner.error"))
                    .contains(QLatin1String("Unknown database driver: ")));
    }
};

QTEST_GUILESS_MAIN(DbServerProcessTest)
#include "tst_dbserverprocess.moc"

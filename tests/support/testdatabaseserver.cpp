#include "testdatabaseserver.h"

#include "serveraccount.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVersionNumber>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

// PostgreSQL keeps its programs in a versioned directory off PATH; the newest one wins.
QStringList postgresBinDirs()
{
    QDir lib(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) {
        return QVersionNumber::fromString(a) > QVersionNumber::fromString(b);
    });
    QStringList dirs;
    for (const QString &v : std::as_const(versions))
        dirs.append(lib.filePath(v + QLatin1String("/bin")));
    return dirs;
}

// cp -a keeps owners and modes, which matters for data directories of the server account.
bool copyTree(const QString &from, const QString &to)
{
    QProcess cp;
    cp.start(QStringLiteral("cp"), {QStringLiteral("-a"), from, to});
    return cp.waitForFinished(120000) && cp.exitStatus() == QProcess::NormalExit && cp.exitCode() == 0;
}

// Where a freshly initialised data directory for this server program is kept between test
// programs: initialising one takes seconds, copying it a fraction of that. The key changes with
// the program (a new server version) and with how the fixture initialises. Empty when caching
// is off (TALVORI_TEST_DB_CACHE=0) or the cache directory is not ours.
QString dataDirectoryCache(const QString &program, const QString &recipe)
{
    if (qEnvironmentVariable("TALVORI_TEST_DB_CACHE") == QLatin1String("0"))
        return QString();
    const QString base = QStringLiteral("/tmp/talvori-test-db-cache-%1").arg(::geteuid());
    if (!QDir().mkpath(base) || QFileInfo(base).ownerId() != ::geteuid())
        return QString();
    QFile(base).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                               | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    const QFileInfo info(program);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QFile::encodeName(info.canonicalFilePath()));
    hash.addData(QByteArray::number(info.size()) + ' ' + QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    hash.addData(recipe.toUtf8());
    return base + QLatin1Char('/') + QString::fromLatin1(hash.result().toHex().left(24));
}

// Fills dataDir from the cache; false when there is nothing cached.
bool restoreDataDirectory(const QString &cache, const QString &dataDir)
{
    // Both servers insist on a data directory only their account can enter.
    return !cache.isEmpty() && QFileInfo(cache).isDir() && copyTree(cache + QLatin1String("/."), dataDir)
        && QFile(dataDir).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Keeps a copy of a freshly initialised dataDir. Test programs running at the same time may race:
// only a complete copy is renamed into place, and the loser throws its copy away.
void storeDataDirectory(const QString &dataDir, const QString &cache)
{
    if (cache.isEmpty() || QFileInfo::exists(cache))
        return;
    const QString partial = cache + QStringLiteral(".partial-%1").arg(QCoreApplication::applicationPid());
    if (copyTree(dataDir, partial) && QDir().rename(partial, cache))
        return;
    QDir(partial).removeRecursively();
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

} // namespace

TestDatabaseServer::TestDatabaseServer(Kind kind)
    : m_kind(kind)
{ }

TestDatabaseServer::~TestDatabaseServer()
{
    stop();
    const QString connection = QStringLiteral("tvdbfixture-%1").arg(quintptr(this));
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
}

bool TestDatabaseServer::required()
{
    return qEnvironmentVariable("CI") == QLatin1String("true")
        || qEnvironmentVariable("TALVORI_REQUIRE_DB_SERVERS") == QLatin1String("1");
}

QString TestDatabaseServer::kindName() const
{
    return m_kind == MariaDb ? QStringLiteral("MariaDB") : QStringLiteral("PostgreSQL");
}

QString TestDatabaseServer::driverName() const
{
    return m_kind == MariaDb ? QStringLiteral("QMYSQL") : QStringLiteral("QPSQL");
}

QString TestDatabaseServer::socketDirectory() const
{
    return m_dir ? m_dir->path() + QLatin1String("/s") : QString();
}

QString TestDatabaseServer::socketPath() const
{
    return socketDirectory() + (m_kind == MariaDb ? QLatin1String("/mysql.sock") : QLatin1String("/.s.PGSQL.5432"));
}

QString TestDatabaseServer::hostName() const
{
    return m_kind == PostgreSql ? socketDirectory() : QString();
}

QString TestDatabaseServer::connectOptions() const
{
    return m_kind == MariaDb ? QLatin1String("UNIX_SOCKET=") + socketPath() : QString();
}

void TestDatabaseServer::configureServer(QSettings &settings) const
{
    const QString driver = driverName();
    settings.setValue(QStringLiteral("General/Driver"), driver);
    settings.beginGroup(driver);
    settings.setValue(QStringLiteral("StartServer"), false);
    settings.setValue(QStringLiteral("Name"), databaseName());
    settings.setValue(QStringLiteral("Host"), hostName());
    settings.setValue(QStringLiteral("User"), userName());
    settings.setValue(QStringLiteral("Password"), password());
    settings.setValue(QStringLiteral("Options"), connectOptions());
    settings.endGroup();
}

void TestDatabaseServer::apply(QSqlDatabase &db) const
{
    db.setHostName(hostName());
    db.setUserName(userName());
    db.setPassword(password());
    db.setDatabaseName(databaseName());
    db.setConnectOptions(connectOptions());
}

QSqlDatabase TestDatabaseServer::addConnection(const QString &connectionName) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(driverName(), connectionName);
    apply(db);
    return db;
}

bool TestDatabaseServer::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

QString TestDatabaseServer::pidFile() const
{
    return m_kind == MariaDb ? socketDirectory() + QLatin1String("/mysql.pid")
                             : m_dir->path() + QLatin1String("/data/postmaster.pid");
}

bool TestDatabaseServer::fail(const QString &message)
{
    m_error = message;
    stop();
    return false;
}

QString TestDatabaseServer::logTail() const
{
    QFile file(m_dir->path() + QLatin1String("/server.log"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray all = file.readAll();
    return QString::fromLocal8Bit(all.right(2000));
}

bool TestDatabaseServer::start()
{
    if (isRunning())
        return true;
    m_error.clear();
    QString error;
    if (!ServerAccount::ensureExists(&error))
        return fail(error);

    // Kept short on purpose: a Unix socket path may not exceed about 100 bytes.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/tvdb-XXXXXX"));
    if (!m_dir->isValid())
        return fail(QStringLiteral("cannot create a temporary directory in /tmp"));
    for (const char *sub : {"data", "s", "tmp"})
        QDir(m_dir->path()).mkdir(QLatin1String(sub));
    ServerAccount::makeTraversable(m_dir->path());

    QElapsedTimer timer;
    timer.start();
    const bool initialised = m_kind == MariaDb ? initMariaDb() : initPostgreSql();
    if (!initialised)
        return false;
    m_initMs = timer.elapsed();
    timer.restart();
    if (!waitUntilReady() || !createLoginAndDatabase())
        return false;
    m_startMs = timer.elapsed();
    return true;
}

bool TestDatabaseServer::initMariaDb()
{
    const QString installer
        = ServerAccount::findProgram({QStringLiteral("mariadb-install-db"), QStringLiteral("mysql_install_db")});
    const QString server = ServerAccount::findProgram({QStringLiteral("mariadbd"), QStringLiteral("mysqld")});
    if (installer.isEmpty() || server.isEmpty())
        return fail(QStringLiteral("mariadbd/mysqld or mariadb-install-db not found (install mariadb-server)"));

    const QString dir = m_dir->path();
    // Durability settings are off: the data lives for one test program only.
    const QString config = dir + QLatin1String("/my.cnf");
    const QByteArray conf = QStringLiteral("[mysqld]\n"
                                           "datadir=%1/data\n"
                                           "socket=%2\n"
                                           "pid-file=%3\n"
                                           // A starting server deletes every temporary table file
                                           // in its temporary directory; in a shared /tmp it
                                           // would take those of the account's other servers.
                                           "tmpdir=%1/tmp\n"
                                           "skip-networking\n"
                                           "skip-name-resolve\n"
                                           "character-set-server=utf8mb4\n"
                                           "innodb_buffer_pool_size=16M\n"
                                           "innodb_log_file_size=8M\n"
                                           "innodb_flush_log_at_trx_commit=0\n"
                                           "innodb_doublewrite=0\n")
                                .arg(dir, socketPath(), pidFile())
                                .toLocal8Bit();
    if (!writeFile(config, conf))
        return fail(QStringLiteral("cannot write %1").arg(config));
    QString error;
    if (!ServerAccount::handOver(dir + QLatin1String("/data"), &error)
        || !ServerAccount::handOver(dir + QLatin1String("/tmp"), &error)
        || !ServerAccount::handOver(socketDirectory(), &error))
        return fail(error);

    const QStringList installArguments
        = {QLatin1String("--defaults-file=") + config, QLatin1String("--datadir=") + dir + QLatin1String("/data"),
           QStringLiteral("--auth-root-authentication-method=socket"), QStringLiteral("--skip-test-db")};
    // The configuration's paths differ per run but do not shape the data directory.
    const QString cache
        = dataDirectoryCache(server, installArguments.mid(2).join(QLatin1Char(' ')) + ServerAccount::name());
    if (!restoreDataDirectory(cache, dir + QLatin1String("/data"))) {
        QProcess install;
        install.setWorkingDirectory(dir);
        ServerAccount::prepare(install, installer, installArguments);
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start();
        if (!install.waitForFinished(120000) || install.exitStatus() != QProcess::NormalExit || install.exitCode() != 0)
            return fail(
                QStringLiteral("%1 failed: %2").arg(installer, QString::fromLocal8Bit(install.readAll().right(2000))));
        storeDataDirectory(dir + QLatin1String("/data"), cache);
    }

    return launch(server, {QLatin1String("--defaults-file=") + config});
}

bool TestDatabaseServer::initPostgreSql()
{
    const QStringList binDirs = postgresBinDirs();
    const QString initdb = ServerAccount::findProgram({QStringLiteral("initdb")}, binDirs);
    const QString server = ServerAccount::findProgram({QStringLiteral("postgres")}, binDirs);
    if (initdb.isEmpty() || server.isEmpty())
        return fail(QStringLiteral("initdb or postgres not found in /usr/lib/postgresql/*/bin (install postgresql)"));

    const QString dir = m_dir->path();
    const QString pwFile = dir + QLatin1String("/pw");
    if (!writeFile(pwFile, password().toUtf8() + '\n'))
        return fail(QStringLiteral("cannot write %1").arg(pwFile));
    QString error;
    if (!ServerAccount::handOver(dir + QLatin1String("/data"), &error)
        || !ServerAccount::handOver(socketDirectory(), &error) || !ServerAccount::handOver(pwFile, &error))
        return fail(error);

    // C.UTF-8 exists on every Debian system, unlike the English locales.
    const QStringList initArguments = {QStringLiteral("-U"),
                                       userName(),
                                       QStringLiteral("-A"),
                                       QStringLiteral("scram-sha-256"),
                                       QStringLiteral("-E"),
                                       QStringLiteral("UTF8"),
                                       QStringLiteral("--locale=C.UTF-8"),
                                       QStringLiteral("--no-sync"),
                                       QLatin1String("--pwfile=") + pwFile,
                                       QStringLiteral("-D"),
                                       dir + QLatin1String("/data")};
    const QString cache = dataDirectoryCache(
        initdb, initArguments.mid(0, 8).join(QLatin1Char(' ')) + password() + ServerAccount::name());
    if (!restoreDataDirectory(cache, dir + QLatin1String("/data"))) {
        QProcess init;
        init.setWorkingDirectory(dir);
        ServerAccount::prepare(init, initdb, initArguments);
        init.setProcessChannelMode(QProcess::MergedChannels);
        init.start();
        if (!init.waitForFinished(120000) || init.exitStatus() != QProcess::NormalExit || init.exitCode() != 0)
            return fail(
                QStringLiteral("%1 failed: %2").arg(initdb, QString::fromLocal8Bit(init.readAll().right(2000))));
        storeDataDirectory(dir + QLatin1String("/data"), cache);
    }

    return launch(server,
                  {QStringLiteral("-D"), dir + QLatin1String("/data"), QStringLiteral("-k"), socketDirectory(),
                   QStringLiteral("-c"), QStringLiteral("listen_addresses="), QStringLiteral("-c"),
                   QStringLiteral("fsync=off")});
}

bool TestDatabaseServer::launch(const QString &program, const QStringList &arguments)
{
    m_process.setWorkingDirectory(m_dir->path());
    ServerAccount::prepare(m_process, program, arguments);
    m_process.setStandardOutputFile(m_dir->path() + QLatin1String("/server.log"));
    m_process.setStandardErrorFile(m_dir->path() + QLatin1String("/server.log"), QIODevice::Append);
    m_process.start();
    if (!m_process.waitForStarted(30000))
        return fail(QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString()));
    return true;
}

bool TestDatabaseServer::waitUntilReady()
{
    const QString name = QStringLiteral("tvdbfixture-%1").arg(quintptr(this));
    QString lastError;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driverName(), name);
        if (m_kind == MariaDb) {
            // The installer gave the installing account (root as seen from a root test) a
            // password-less socket login.
            db.setUserName(ServerAccount::switchesUser() ? QStringLiteral("root") : ServerAccount::name());
            db.setConnectOptions(connectOptions());
        } else {
            db.setHostName(hostName());
            db.setUserName(userName());
            db.setPassword(password());
            db.setDatabaseName(QStringLiteral("postgres"));
        }
        QElapsedTimer timer;
        timer.start();
        while (!db.open()) {
            lastError = db.lastError().text();
            if (m_process.waitForFinished(100))
                return fail(QStringLiteral("the server ended during start-up: %1").arg(logTail()));
            if (timer.elapsed() > 60000)
                return fail(QStringLiteral("no connection within 60 s: %1\n%2").arg(lastError, logTail()));
        }
    }
    return true;
}

bool TestDatabaseServer::createLoginAndDatabase()
{
    const QString name = QStringLiteral("tvdbfixture-%1").arg(quintptr(this));
    QStringList statements;
    if (m_kind == MariaDb) {
        statements
            << QStringLiteral("CREATE USER '%1'@'localhost' IDENTIFIED BY '%2'").arg(userName(), password())
            << QStringLiteral("GRANT ALL PRIVILEGES ON *.* TO '%1'@'localhost' WITH GRANT OPTION").arg(userName())
            << QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8mb4").arg(databaseName());
    } else {
        statements << QStringLiteral("CREATE DATABASE %1 ENCODING 'UTF8'").arg(databaseName());
    }
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        for (const QString &statement : std::as_const(statements)) {
            QSqlQuery query(db);
            if (!query.exec(statement))
                return fail(QStringLiteral("%1: %2").arg(statement, query.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return true;
}

void TestDatabaseServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    QFile file(pidFile());
    qint64 pid = 0;
    if (file.open(QIODevice::ReadOnly))
        pid = file.readLine().trimmed().toLongLong();
    // SIGTERM is MariaDB's clean shutdown; SIGINT is PostgreSQL's fast one (no wait for clients).
    if (pid > 0)
        ::kill(pid_t(pid), m_kind == MariaDb ? SIGTERM : SIGINT);
    else
        m_process.terminate();
    if (!m_process.waitForFinished(30000)) {
        if (pid > 0)
            ::kill(pid_t(pid), SIGKILL);
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

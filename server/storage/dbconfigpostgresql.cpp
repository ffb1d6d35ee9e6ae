#include "storage/dbconfigpostgresql.h"

#include "common/log.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVersionNumber>

#include <QDeadlineTimer>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>

namespace {

// The postmaster's process id as its pid file gives it, 0 when there is none.
qint64 postmasterPid(const QString &pidFile)
{
    QFile file(pidFile);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return QString::fromLatin1(file.readLine()).trimmed().toLongLong();
}

// The server has stopped only when its process has gone, which may be a while after pg_ctl or a
// signal returned; the storage server must not exit before (its data directory would still be
// in use). False when it is still there at the deadline.
bool waitForProcessEnd(qint64 pid, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// PostgreSQL keeps its programs in /usr/lib/postgresql/<version>/bin; newer versions are preferred.
QStringList postgresSearchPath()
{
    QStringList dirs = {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")};
    const QDir lib(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) {
        return QVersionNumber::fromString(a) > QVersionNumber::fromString(b);
    });
    for (const QString &version : std::as_const(versions))
        dirs.append(lib.filePath(version + QLatin1String("/bin")));
    return dirs;
}

// initdb refuses a locale the system does not have; minimal systems only have C.UTF-8.
QString clusterLocale()
{
    locale_t english = ::newlocale(LC_ALL_MASK, "en_US.UTF-8", locale_t(nullptr));
    if (english) {
        ::freelocale(english);
        return QStringLiteral("en_US.UTF-8");
    }
    return QStringLiteral("C.UTF-8");
}

// Replaces the (possibly commented-out) line that sets key, or appends one.
void setConfigValue(QString &configuration, const QString &key, const QString &value)
{
    const QRegularExpression line(
        QStringLiteral("^[ \\t]*#?[ \\t]*%1[ \\t]*=[^\\n]*$").arg(QRegularExpression::escape(key)),
        QRegularExpression::MultilineOption);
    const QString replacement = key + QLatin1String(" = ") + value;
    const QRegularExpressionMatch match = line.match(configuration);
    if (match.hasMatch()) {
        configuration.replace(match.capturedStart(), match.capturedLength(), replacement);
    } else {
        if (!configuration.isEmpty() && !configuration.endsWith(QLatin1Char('\n')))
            configuration += QLatin1Char('\n');
        configuration += replacement + QLatin1Char('\n');
    }
}

} // namespace

DbConfigPostgresql::DbConfigPostgresql() = default;

DbConfigPostgresql::~DbConfigPostgresql() = default;

QString DbConfigPostgresql::driverName() const
{
    return QStringLiteral("QPSQL");
}

QString DbConfigPostgresql::databaseName() const
{
    return m_databaseName;
}

bool DbConfigPostgresql::init(QSettings &settings)
{
    m_startServer = settings.value(QStringLiteral("QPSQL/StartServer"), false).toBool();

    QString defaultServerPath;
    QString defaultInitDbPath;
    QString defaultHostName;
    QString defaultCleanShutdownCommand;
    if (m_startServer) {
        const QStringList searchPath = postgresSearchPath();
        defaultServerPath = XdgBaseDirs::findExecutableFile(QStringLiteral("pg_ctl"), searchPath);
        defaultInitDbPath = XdgBaseDirs::findExecutableFile(QStringLiteral("initdb"), searchPath);
        defaultHostName = preferredSocketDirectory(XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_misc")));
        const QString dataDir = XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_data"));
        if (!defaultServerPath.isEmpty())
            defaultCleanShutdownCommand
                = QStringLiteral("%1 stop -D%2")
                      .arg(commandLineArgument(defaultServerPath), commandLineArgument(dataDir));
    }

    settings.beginGroup(driverName());
    m_databaseName = settings.value(QStringLiteral("Name"), QStringLiteral("talvori")).toString();
    m_hostName = settings.value(QStringLiteral("Host"), defaultHostName).toString();
    m_userName = settings.value(QStringLiteral("User"), QString()).toString();
    m_password = settings.value(QStringLiteral("Password"), QString()).toString();
    m_connectionOptions = settings.value(QStringLiteral("Options"), QString()).toString();
    m_serverPath = settings.value(QStringLiteral("ServerPath"), defaultServerPath).toString();
    m_initDbPath = settings.value(QStringLiteral("InitDbPath"), defaultInitDbPath).toString();
    m_cleanServerShutdownCommand
        = settings.value(QStringLiteral("CleanServerShutdownCommand"), defaultCleanShutdownCommand).toString();
    settings.endGroup();

    settings.beginGroup(driverName());
    const auto writeWhenSet = [&settings](const char *key, const QString &value) {
        if (!value.isEmpty())
            settings.setValue(QLatin1String(key), value);
    };
    writeWhenSet("Name", m_databaseName);
    writeWhenSet("Host", m_hostName);
    writeWhenSet("Options", m_connectionOptions);
    writeWhenSet("ServerPath", m_serverPath);
    writeWhenSet("InitDbPath", m_initDbPath);
    settings.setValue(QStringLiteral("StartServer"), m_startServer);
    settings.endGroup();
    settings.sync();
    return true;
}

void DbConfigPostgresql::apply(QSqlDatabase &db)
{
    applyConnectionValues(db, m_databaseName, m_hostName, m_userName, m_password);
    db.setConnectOptions(m_connectionOptions);
}

bool DbConfigPostgresql::useInternalServer() const
{
    return m_startServer;
}

QString DbConfigPostgresql::editedServerConfiguration(const QString &configuration, const QString &socketDirectory)
{
    QString edited = configuration;
    setConfigValue(edited, QStringLiteral("listen_addresses"), QStringLiteral("''"));
    // Servers since 9.3 take a list of directories under a new name.
    QString escapedDirectory = socketDirectory;
    escapedDirectory.replace(QLatin1Char('\''), QLatin1String("''"));
    const QString socketKey = edited.contains(QLatin1String("unix_socket_directories"))
            || !edited.contains(QLatin1String("unix_socket_directory"))
        ? QStringLiteral("unix_socket_directories")
        : QStringLiteral("unix_socket_directory");
    setConfigValue(edited, socketKey, QLatin1Char('\'') + escapedDirectory + QLatin1Char('\''));
    setConfigValue(edited, QStringLiteral("standard_conforming_strings"), QStringLiteral("on"));
    return edited;
}

void DbConfigPostgresql::startInternalServer()
{
    if (!m_startServer)
        return;
    const QString dataDir = XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_data"));
    const QString socketDirectory
        = preferredSocketDirectory(XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_misc")));

    if (!QFile::exists(QStringLiteral("%1/PG_VERSION").arg(dataDir))) {
        QProcess::execute(m_initDbPath,
                          {QStringLiteral("-D"), dataDir, QStringLiteral("--locale=%1").arg(clusterLocale())});

        QFile file(dataDir + QLatin1String("/postgresql.conf"));
        if (file.open(QIODevice::ReadOnly)) {
            const QString configuration = QString::fromUtf8(file.readAll());
            file.close();
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(editedServerConfiguration(configuration, socketDirectory).toUtf8());
        }
    }

    // The server's own messages go to a log file: pg_ctl returns once the server runs, and a
    // server writing into a pipe nobody reads any more would lose them or block.
    const QStringList arguments = {QStringLiteral("-w"),    QStringLiteral("-t10"),
                                   QStringLiteral("start"), QStringLiteral("-D%1").arg(dataDir),
                                   QStringLiteral("-l"),    dataDir + QLatin1String("/postgresql.log")};
    m_process = std::make_unique<QProcess>();
    startServerProcess(m_process.get(), m_serverPath, arguments);
    // pg_ctl only launches the server and ends by design; its exit status says whether the
    // server came up, so wait for it before connecting.
    m_process->waitForFinished(30000);
    if (m_process->state() == QProcess::NotRunning
        && (m_process->exitStatus() != QProcess::NormalExit || m_process->exitCode() != 0)) {
        // pg_ctl only says "could not start server"; the reason is in the server's log.
        QFile log(dataDir + QLatin1String("/postgresql.log"));
        if (log.open(QIODevice::ReadOnly))
            logError() << "server log:" << log.readAll().right(4000);
        reportProcessEnded(m_process.get(), m_serverPath, arguments);
    }

    const QString connectionName = QStringLiteral("initConnection");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        apply(db);
        db.setDatabaseName(QStringLiteral("template1"));
        if (!db.isValid()) {
            logFatal() << "Invalid database object during database server startup";
            std::abort();
        }

        for (int attempt = 0; attempt < 120; ++attempt) {
            if (db.open()) {
                if (!createMissingDatabase(db)) {
                    logFatal() << "Database error:" << db.lastError().text();
                    std::abort();
                }
                db.close();
                break;
            }
            // pg_ctl has ended successfully by now; a server that died afterwards shows as a
            // connection that keeps failing, so wait between attempts.
            if (m_process->state() != QProcess::NotRunning && m_process->waitForFinished(500))
                reportProcessEnded(m_process.get(), m_serverPath, arguments);
            if (m_process->state() == QProcess::NotRunning)
                QThread::msleep(500);
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
}

bool DbConfigPostgresql::createMissingDatabase(QSqlDatabase &db) const
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT * FROM pg_catalog.pg_database WHERE datname = ?"));
    query.addBindValue(m_databaseName);
    if (query.exec() && query.next())
        return true;
    QString identifier = m_databaseName;
    identifier.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return execCreateDatabase(query, QStringLiteral("CREATE DATABASE \"%1\"").arg(identifier));
}

bool DbConfigPostgresql::createDatabase()
{
    // Every server has template1; the configured database may not exist yet.
    return withInitConnection(QStringLiteral("template1"), [this](QSqlDatabase &db) { return createMissingDatabase(db); });
}

void DbConfigPostgresql::stopInternalServer()
{
    if (!m_process)
        return;
    const QString dataDir = XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_data"));
    const QString pidFile = dataDir + QLatin1String("/postmaster.pid");
    const qint64 pid = postmasterPid(pidFile);
    if (!m_cleanServerShutdownCommand.isEmpty()) {
        runCommandLine(m_cleanServerShutdownCommand);
        // The server removes its pid file when it has shut down; pg_ctl itself ended long ago.
        if (m_process->waitForFinished(3000) || m_process->state() == QProcess::NotRunning) {
            if (!QFile::exists(pidFile) && waitForProcessEnd(pid, 3000)) {
                m_process.reset();
                return;
            }
        }
    }
    if (const qint64 running = postmasterPid(pidFile)) {
        logError() << "The postmaster is still running. Killing it.";
        QProcess::execute(m_serverPath, {QStringLiteral("kill"), QStringLiteral("ABRT"), QString::number(running)});
        if (!waitForProcessEnd(running, 3000))
            logError() << "The postmaster" << running << "did not end";
    }
    m_process.reset();
}

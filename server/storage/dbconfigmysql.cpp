#include "storage/dbconfigmysql.h"

#include "common/log.h"

#include <xdgbasedirs.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdlib>

namespace {

// Where MySQL and MariaDB install their programs besides PATH; Debian puts the server in /usr/sbin
// and the tools in /usr/bin.
QStringList mysqlSearchPath()
{
    return {QStringLiteral("/usr/sbin"),          QStringLiteral("/usr/local/sbin"),
            QStringLiteral("/usr/local/libexec"), QStringLiteral("/usr/libexec"),
            QStringLiteral("/opt/mysql/libexec"), QStringLiteral("/opt/local/lib/mysql5/bin"),
            QStringLiteral("/opt/mysql/sbin"),    QStringLiteral("/usr/bin")};
}

// The first of the names found; MariaDB installs its programs under both the old and its own names.
QString findMysqlProgram(const QStringList &names)
{
    for (const QString &name : names) {
        const QString path = XdgBaseDirs::findExecutableFile(name, mysqlSearchPath());
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

QString socketFile(const QString &socketDirectory)
{
    return socketDirectory + QLatin1String("/mysql.socket");
}

} // namespace

DbConfigMysql::DbConfigMysql() = default;

DbConfigMysql::~DbConfigMysql() = default;

QString DbConfigMysql::driverName() const
{
    return QStringLiteral("QMYSQL");
}

QString DbConfigMysql::databaseName() const
{
    return m_databaseName;
}

bool DbConfigMysql::init(QSettings &settings)
{
    m_socketDirectory = preferredSocketDirectory(XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_misc")));

    QString defaultServerPath;
#ifdef TALVORI_MYSQLD_EXECUTABLE
    if (QFile::exists(QStringLiteral(TALVORI_MYSQLD_EXECUTABLE)))
        defaultServerPath = QStringLiteral(TALVORI_MYSQLD_EXECUTABLE);
#endif
    if (defaultServerPath.isEmpty())
        defaultServerPath = findMysqlProgram({QStringLiteral("mysqld"), QStringLiteral("mariadbd")});

    const QString adminPath = findMysqlProgram({QStringLiteral("mysqladmin"), QStringLiteral("mariadb-admin")});
    // Linux servers have no shared-memory transport; the tools reach the server through its socket.
    const QString defaultCleanShutdownCommand = adminPath.isEmpty()
        ? QString()
        : QStringLiteral("%1 shutdown --socket=%2")
              .arg(commandLineArgument(adminPath), commandLineArgument(socketFile(m_socketDirectory)));
    m_installDbPath = findMysqlProgram({QStringLiteral("mysql_install_db"), QStringLiteral("mariadb-install-db")});
    logDebug() << "Found mysql_install_db: " << m_installDbPath;
    m_checkPath = findMysqlProgram({QStringLiteral("mysqlcheck"), QStringLiteral("mariadb-check")});
    logDebug() << "Found mysqlcheck: " << m_checkPath;

    m_startServer = settings.value(QStringLiteral("QMYSQL/StartServer"), true).toBool();
    settings.beginGroup(driverName());
    m_databaseName = settings.value(QStringLiteral("Name"), QStringLiteral("talvori")).toString();
    m_hostName = settings.value(QStringLiteral("Host"), QString()).toString();
    m_userName = settings.value(QStringLiteral("User"), QString()).toString();
    m_password = settings.value(QStringLiteral("Password"), QString()).toString();
    m_connectionOptions = settings.value(QStringLiteral("Options"), QString()).toString();
    m_serverPath = settings.value(QStringLiteral("ServerPath"), defaultServerPath).toString();
    m_cleanServerShutdownCommand
        = settings.value(QStringLiteral("CleanServerShutdownCommand"), defaultCleanShutdownCommand).toString();
    settings.endGroup();

    if (m_startServer && (m_serverPath.isEmpty() || !QFile::exists(m_serverPath)))
        m_serverPath = defaultServerPath;

    settings.beginGroup(driverName());
    settings.setValue(QStringLiteral("Name"), m_databaseName);
    settings.setValue(QStringLiteral("Host"), m_hostName);
    settings.setValue(QStringLiteral("Options"), m_connectionOptions);
    if (!m_serverPath.isEmpty())
        settings.setValue(QStringLiteral("ServerPath"), m_serverPath);
    settings.setValue(QStringLiteral("StartServer"), m_startServer);
    settings.endGroup();
    settings.sync();

    if (m_startServer) {
        // The private server accepts local connections without credentials.
        m_hostName.clear();
        m_userName.clear();
        m_password.clear();
    }
    return true;
}

void DbConfigMysql::apply(QSqlDatabase &db)
{
    applyConnectionValues(db, m_databaseName, m_hostName, m_userName, m_password);
    QString options = m_connectionOptions;
    if (m_startServer) {
        // The private server listens on its own socket only. It is not written back to "Options":
        // the socket directory follows "Connection/SocketDirectory" at every start.
        const QString socketOption = QLatin1String("UNIX_SOCKET=") + socketFile(m_socketDirectory);
        options = options.isEmpty() ? socketOption : socketOption + QLatin1Char(';') + options;
    }
    db.setConnectOptions(options);
}

bool DbConfigMysql::useInternalServer() const
{
    return m_startServer;
}

void DbConfigMysql::startInternalServer()
{
    if (!m_startServer)
        return;
    const QString dataHome = XdgBaseDirs::saveDir("data", QStringLiteral("talvori"));
    const QString dataDir = XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_data"));
    const QString socketDirectory
        = preferredSocketDirectory(XdgBaseDirs::saveDir("data", QStringLiteral("talvori/db_misc")));

    const QString globalTemplate = XdgBaseDirs::findResourceFile("config", QStringLiteral("talvori/mysql-global.conf"));
    const QString localTemplate = XdgBaseDirs::findResourceFile("config", QStringLiteral("talvori/mysql-local.conf"));
    const QString configFile = dataHome + QLatin1String("/mysql.conf");
    if (globalTemplate.isEmpty()) {
        logFatal() << "Did not find MySQL server default configuration (mysql-global.conf)";
        std::abort();
    }

    // A missing target has an invalid time, which counts as older than any template.
    const QDateTime configTime = QFileInfo(configFile).lastModified();
    const bool rebuild = !configTime.isValid() || configTime < QFileInfo(globalTemplate).lastModified()
        || (!localTemplate.isEmpty() && configTime < QFileInfo(localTemplate).lastModified());
    if (rebuild) {
        QFile global(globalTemplate);
        QFile target(configFile);
        bool ok = global.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly | QIODevice::Truncate);
        if (ok) {
            ok = target.write(global.readAll()) >= 0;
            QFile local(localTemplate);
            if (ok && !localTemplate.isEmpty() && local.open(QIODevice::ReadOnly))
                ok = target.write(local.readAll()) >= 0;
            ok = target.flush() && ok;
        }
        if (!ok) {
            logError() << "Unable to create MySQL server configuration file.";
            logError() << "This means that either the default configuration file (mysql-global.conf) was not readable";
            logFatal() << "or the target file (mysql.conf) could not be written.";
            std::abort();
        }
    }

    // The server ignores a world-writable configuration file.
    QFile config(configFile);
    const QFileDevice::Permissions allowed = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
        | QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther;
    if (config.permissions() & ~allowed)
        config.setPermissions(config.permissions() & allowed);

    if (dataDir.isEmpty()) {
        logFatal() << "Talvori server was not able to create database data directory";
        std::abort();
    }
    if (dataHome.isEmpty()) {
        logFatal() << "Talvori server was not able to create database log directory";
        std::abort();
    }
    if (socketDirectory.isEmpty()) {
        logFatal() << "Talvori server was not able to create database misc directory";
        std::abort();
    }
    if (socketDirectory.length() > MaxSocketDirectoryLength) {
        logFatal() << "MySQL cannot deal with a socket path this long. Path was: " << socketDirectory;
        std::abort();
    }

    // Keep the previous runs' server messages in mysql.err.old.
    const QString errorLog = dataDir + QLatin1String("/mysql.err");
    if (QFile::exists(errorLog)) {
        QFile current(errorLog);
        QFile old(errorLog + QLatin1String(".old"));
        if (current.open(QIODevice::ReadOnly) && old.open(QIODevice::WriteOnly | QIODevice::Append)) {
            old.write(current.readAll());
            old.close();
            current.close();
            current.remove();
        } else {
            logError() << "Failed to open MySQL error log.";
        }
    }

    if (QDir(dataDir).isEmpty() && !m_installDbPath.isEmpty()) {
        const QStringList arguments
            = {QStringLiteral("--force"), QStringLiteral("--defaults-file=%1").arg(globalTemplate),
               QStringLiteral("--datadir=%1/").arg(dataDir)};
        QProcess::execute(m_installDbPath, arguments);
    }

    // The configuration change needs no help with the redo log: current servers resize it
    // themselves after a clean shutdown, and refuse to start once it has been deleted.
    if (rebuild)
        logDebug() << "Rebuilt" << configFile << "from" << globalTemplate << localTemplate;

    const QStringList arguments
        = {QStringLiteral("--defaults-file=%1/mysql.conf").arg(dataHome), QStringLiteral("--datadir=%1/").arg(dataDir),
           QStringLiteral("--socket=%1").arg(socketFile(socketDirectory))};
    m_process = std::make_unique<QProcess>();
    startServerProcess(m_process.get(), m_serverPath, arguments);

    const QString connectionName = QStringLiteral("initConnection");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), connectionName);
        apply(db);
        db.setDatabaseName(QString());
        if (!db.isValid()) {
            logFatal() << "Invalid database object during database server startup";
            std::abort();
        }

        for (int attempt = 0; attempt < 120; ++attempt) {
            if (db.open()) {
                if (!m_checkPath.isEmpty()) {
                    QProcess::execute(m_checkPath,
                                      {QStringLiteral("--check-upgrade"), QStringLiteral("--all-databases"),
                                       QStringLiteral("--auto-repair"),
                                       QStringLiteral("--socket=%1").arg(socketFile(socketDirectory))});
                }
                if (!useOrCreateDatabase(db)) {
                    logFatal() << "Database error:" << db.lastError().text();
                    std::abort();
                }
                db.close();
                break;
            }
            if (m_process->waitForFinished(500))
                reportProcessEnded(m_process.get(), m_serverPath, arguments);
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
}

bool DbConfigMysql::useOrCreateDatabase(QSqlDatabase &db) const
{
    QSqlQuery query(db);
    // The name goes into the statement text, where it cannot be a placeholder; quoting it as an
    // identifier keeps a configured name from being read as SQL.
    QString identifier = m_databaseName;
    identifier.replace(QLatin1Char('`'), QLatin1String("``"));
    if (query.exec(QStringLiteral("USE `%1`").arg(identifier)))
        return true;
    logDebug() << "Failed to use database" << m_databaseName;
    logDebug() << "Query error:" << query.lastError().text();
    logDebug() << "Database error:" << db.lastError().text();
    logDebug() << "Trying to create database now...";
    return execCreateDatabase(query, QStringLiteral("CREATE DATABASE `%1`").arg(identifier));
}

bool DbConfigMysql::createDatabase()
{
    return withInitConnection(QString(), [this](QSqlDatabase &db) { return useOrCreateDatabase(db); });
}

void DbConfigMysql::stopInternalServer()
{
    if (!m_process)
        return;
    if (!m_cleanServerShutdownCommand.isEmpty()) {
        runCommandLine(m_cleanServerShutdownCommand);
        if (m_process->waitForFinished(3000)) {
            m_process.reset();
            return;
        }
    }
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished();
    }
    m_process.reset();
}

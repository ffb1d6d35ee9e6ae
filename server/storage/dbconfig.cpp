#include "storage/dbconfig.h"

#include "common/log.h"
#include "storage/dbconfigmysql.h"
#include "storage/dbconfigmysqlembedded.h"
#include "storage/dbconfigpostgresql.h"
#include "storage/dbconfigsqlite.h"
#include "storage/sqlitedriver.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdlib>

DbConfig::DbConfig()
{
    const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    // toLongLong() gives 0 for text that is no number; a negative threshold would send every
    // part to a file, so it is clamped as well.
    m_sizeThreshold = qMax<qint64>(0, settings.value(QStringLiteral("General/SizeThreshold"), 4096).toLongLong());
    m_useExternalPayloadFile = settings.value(QStringLiteral("General/ExternalPayload"), true).toBool();
}

DbConfig::~DbConfig() = default;

void DbConfig::startInternalServer() { }

void DbConfig::stopInternalServer() { }

bool DbConfig::createDatabase()
{
    return true;
}

bool DbConfig::execCreateDatabase(QSqlQuery &query, const QString &statement)
{
    if (query.exec(statement))
        return true;
    logError() << "Failed to create database";
    logError() << "Query error:" << query.lastError().text();
    return false;
}

bool DbConfig::withInitConnection(const QString &databaseName, const std::function<bool(QSqlDatabase &)> &step)
{
    const QString connectionName = QStringLiteral("initConnection");
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driverName(), connectionName);
        apply(db);
        db.setDatabaseName(databaseName);
        if (db.open()) {
            done = step(db);
            if (!done)
                logError() << "Database error:" << db.lastError().text();
            db.close();
        } else {
            logError() << "Unable to connect to the database server:" << db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    return done;
}

qint64 DbConfig::sizeThreshold() const
{
    return m_sizeThreshold;
}

bool DbConfig::useExternalPayloadFile() const
{
    return m_useExternalPayloadFile;
}

std::unique_ptr<DbConfig> DbConfig::create(const QString &driver)
{
    const QString name = driver.isEmpty() ? QStringLiteral("QMYSQL") : driver;
    if (name == QLatin1String("QMYSQL"))
        return std::make_unique<DbConfigMysql>();
    if (name == QLatin1String("QSQLITE"))
        return std::make_unique<DbConfigSqlite>(DbConfigSqlite::Default);
    if (name == QLatin1String("QSQLITE3"))
        return std::make_unique<DbConfigSqlite>(DbConfigSqlite::Custom);
    if (name == QLatin1String("QPSQL"))
        return std::make_unique<DbConfigPostgresql>();
    // The embedded server library is not part of every MySQL client build (Qt 6 ships no such
    // driver at all): without it the backend cannot work, so it counts as unknown.
    if (name == QLatin1String("QMYSQL_EMBEDDED") && QSqlDatabase::isDriverAvailable(name))
        return std::make_unique<DbConfigMysqlEmbedded>();
    return nullptr;
}

DbConfig *DbConfig::configuredDatabase()
{
    static DbConfig *instance = [] {
        // Our SQLite driver counts among the available ones, whichever backend is chosen.
        SqliteDriver::registerDriver();
        const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
        const QString driver = settings.value(QStringLiteral("General/Driver"), QStringLiteral("QMYSQL")).toString();
        std::unique_ptr<DbConfig> config = create(driver);
        if (!config) {
            logError() << "Unknown database driver: " << driver;
            logError() << "Available drivers are: " << QSqlDatabase::drivers();
            logFatal() << "Unknown database driver" << driver;
            std::abort();
        }
        return config.release();
    }();
    return instance;
}

void DbConfig::applyConnectionValues(QSqlDatabase &db, const QString &name, const QString &host, const QString &user,
                                     const QString &password)
{
    if (!name.isEmpty())
        db.setDatabaseName(name);
    if (!host.isEmpty())
        db.setHostName(host);
    if (!user.isEmpty())
        db.setUserName(user);
    if (!password.isEmpty())
        db.setPassword(password);
}

void DbConfig::startServerProcess(QProcess *process, const QString &executable, const QStringList &arguments)
{
    process->start(executable, arguments);
    if (!process->waitForStarted(30000)) {
        logError() << "Could not start database server!";
        logError() << "executable:" << executable;
        logError() << "arguments:" << arguments;
        logFatal() << "process error:" << process->errorString();
        std::abort();
    }
}

void DbConfig::reportProcessEnded(QProcess *process, const QString &executable, const QStringList &arguments)
{
    logError() << "Database process exited unexpectedly during initial connection!";
    logError() << "executable:" << executable;
    logError() << "arguments:" << arguments;
    logError() << "stdout:" << process->readAllStandardOutput();
    logError() << "stderr:" << process->readAllStandardError();
    logError() << "exit code:" << process->exitCode();
    logFatal() << "process error:" << process->errorString();
    std::abort();
}

QString DbConfig::commandLineArgument(const QString &path)
{
    if (!path.contains(QLatin1Char(' ')) && !path.contains(QLatin1Char('"')))
        return path;
    QString escaped = path;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void DbConfig::runCommandLine(const QString &commandLine)
{
    const QStringList command = QProcess::splitCommand(commandLine);
    if (!command.isEmpty())
        QProcess::execute(command.first(), command.mid(1));
}

QString preferredSocketDirectory(const QString &defaultDirectory)
{
    const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadOnly), QSettings::IniFormat);
    QString path = settings.value(QStringLiteral("Connection/SocketDirectory"), defaultDirectory).toString();
    const QString user = qEnvironmentVariable("USER");
    if (!user.isEmpty())
        path.replace(QLatin1String("$USER"), user);
    if (!path.startsWith(QLatin1Char('/')))
        path = QDir::homePath() + QLatin1Char('/') + path;
    path = QDir::cleanPath(path);
    if (!QDir().mkpath(path))
        logError() << "Unable to create socket directory" << path;
    return path;
}

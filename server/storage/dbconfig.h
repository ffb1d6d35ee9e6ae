#ifndef TALVORI_DBCONFIG_H
#define TALVORI_DBCONFIG_H

#include <QSettings>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProcess;
class QSqlQuery;

// The database backend the server was configured with: which Qt SQL driver to load, how to set up
// a connection, and, for backends that run their own database server, how to start and stop it.
// One instance per process (configuredDatabase()); init() runs once on the main thread at start-up,
// after which the getters are read from every connection thread and never change.
class DbConfig
{
public:
    virtual ~DbConfig();

    // The Qt SQL driver name, for QSqlDatabase::addDatabase().
    virtual QString driverName() const = 0;
    virtual QString databaseName() const = 0;
    // Reads the backend's keys from the server settings file and writes the effective values back.
    virtual bool init(QSettings &settings) = 0;
    // Sets database name, host, user and password (each only when non-empty) and always the
    // connection options on db.
    virtual void apply(QSqlDatabase &db) = 0;
    // True when the backend runs its own database server process.
    virtual bool useInternalServer() const = 0;
    virtual void startInternalServer();
    virtual void stopInternalServer();
    // For a database server this backend does not run itself: makes sure the configured database
    // exists there, creating it when missing. False, with error log lines, when the server cannot
    // be reached or refuses. The default (a database that is a file) has nothing to do.
    virtual bool createDatabase();

    // Payload parts larger than this many bytes go to external files.
    virtual qint64 sizeThreshold() const;
    virtual bool useExternalPayloadFile() const;

    // The process-wide backend chosen by "General/Driver", created on first use. An unknown or
    // unavailable driver ends the process with a fatal log line naming the available drivers.
    static DbConfig *configuredDatabase();
    // A new backend for the "General/Driver" value (empty means "QMYSQL"), or null when the value
    // names no backend or its Qt SQL driver cannot be loaded.
    static std::unique_ptr<DbConfig> create(const QString &driver);

protected:
    DbConfig();

    // Sets the four connection values that are not empty; used by apply() implementations.
    static void applyConnectionValues(QSqlDatabase &db, const QString &name, const QString &host, const QString &user,
                                      const QString &password);

    // Adds the connection "initConnection" with this backend's settings and the given database
    // name, opens it and hands it to step; removes the connection again. False when it does not
    // open or when step fails (both logged).
    bool withInitConnection(const QString &databaseName, const std::function<bool(QSqlDatabase &)> &step);
    // Runs a CREATE DATABASE statement; a failure is logged with the query's error.
    static bool execCreateDatabase(QSqlQuery &query, const QString &statement);
    // Starts a database server program and waits until it runs; a program that does not start
    // within 30 s ends the process with the fatal start-up lines.
    static void startServerProcess(QProcess *process, const QString &executable, const QStringList &arguments);
    // Quotes a path for a command line kept in the settings ("CleanServerShutdownCommand"), which
    // runCommandLine() splits again.
    static QString commandLineArgument(const QString &path);
    // Runs a command line and waits for it to end.
    static void runCommandLine(const QString &commandLine);
    // The fatal lines for a server process that ended while we were still trying to connect.
    [[noreturn]] static void reportProcessEnded(QProcess *process, const QString &executable,
                                                const QStringList &arguments);

private:
    qint64 m_sizeThreshold;
    bool m_useExternalPayloadFile;
};

// The directory for database server sockets: "Connection/SocketDirectory" from the server settings
// file (default defaultDirectory), with "$USER" replaced, relative paths taken below the home
// directory, created when missing.
QString preferredSocketDirectory(const QString &defaultDirectory);

#endif

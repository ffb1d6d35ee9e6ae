#ifndef TALVORI_DBCONFIGMYSQL_H
#define TALVORI_DBCONFIGMYSQL_H

#include "storage/dbconfig.h"

#include <memory>

// MySQL or MariaDB: by default a private server process that this backend configures from the
// "talvori/mysql-global.conf" (and optional "talvori/mysql-local.conf") templates, initialises,
// checks, starts and stops; with "QMYSQL/StartServer" false an existing server.
class DbConfigMysql : public DbConfig
{
public:
    DbConfigMysql();
    ~DbConfigMysql() override;

    QString driverName() const override;
    QString databaseName() const override;
    bool init(QSettings &settings) override;
    void apply(QSqlDatabase &db) override;
    bool useInternalServer() const override;
    void startInternalServer() override;
    void stopInternalServer() override;
    bool createDatabase() override;

    // Longest socket directory the private server accepts: the socket file name is appended and
    // the whole must fit into a Unix socket address.
    static constexpr int MaxSocketDirectoryLength = 89;

private:
    // On a connection to the server (no database selected): selects the configured database,
    // creating it first when it does not exist. False, with the first error lines, when that fails.
    bool useOrCreateDatabase(QSqlDatabase &db) const;

    QString m_databaseName;
    QString m_hostName;
    QString m_userName;
    QString m_password;
    QString m_connectionOptions;
    QString m_serverPath;
    QString m_cleanServerShutdownCommand;
    QString m_installDbPath;
    QString m_checkPath;
    QString m_socketDirectory;
    bool m_startServer = true;
    std::unique_ptr<QProcess> m_process;
};

#endif

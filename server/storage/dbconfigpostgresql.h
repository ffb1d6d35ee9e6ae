#ifndef TALVORI_DBCONFIGPOSTGRESQL_H
#define TALVORI_DBCONFIGPOSTGRESQL_H

#include "storage/dbconfig.h"

#include <memory>

// PostgreSQL: an existing server, or with "QPSQL/StartServer" true a private cluster that this
// backend initialises and starts through pg_ctl, listening only on a socket in its own directory.
class DbConfigPostgresql : public DbConfig
{
public:
    DbConfigPostgresql();
    ~DbConfigPostgresql() override;

    QString driverName() const override;
    QString databaseName() const override;
    bool init(QSettings &settings) override;
    void apply(QSqlDatabase &db) override;
    bool useInternalServer() const override;
    void startInternalServer() override;
    void stopInternalServer() override;
    bool createDatabase() override;

    // Edits a freshly initialised cluster's postgresql.conf text: no TCP listener, the socket in
    // socketDirectory, standard conforming strings. Settings are matched whether commented out or
    // not and under the old and new name of the socket setting; missing ones are appended.
    static QString editedServerConfiguration(const QString &configuration, const QString &socketDirectory);

private:
    // On a connection to another database of the server: creates the configured database when the
    // server has none of that name. False, with the first error lines, when that fails.
    bool createMissingDatabase(QSqlDatabase &db) const;

    QString m_databaseName;
    QString m_hostName;
    QString m_userName;
    QString m_password;
    QString m_connectionOptions;
    QString m_serverPath;
    QString m_initDbPath;
    QString m_cleanServerShutdownCommand;
    bool m_startServer = false;
    std::unique_ptr<QProcess> m_process;
};

#endif

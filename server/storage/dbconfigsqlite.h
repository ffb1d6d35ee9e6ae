#ifndef TALVORI_DBCONFIGSQLITE_H
#define TALVORI_DBCONFIGSQLITE_H

#include "storage/dbconfig.h"

// An SQLite file in the user's data directory, through Qt's own driver ("QSQLITE") or through the
// server's driver ("QSQLITE3", SqliteDriver), which lets concurrent connections wait for each other
// instead of failing with "database is locked".
class DbConfigSqlite : public DbConfig
{
public:
    enum Version { Default, Custom };

    explicit DbConfigSqlite(Version version);

    QString driverName() const override;
    QString databaseName() const override;
    bool init(QSettings &settings) override;
    void apply(QSqlDatabase &db) override;
    bool useInternalServer() const override;

private:
    Version m_version;
    QString m_databaseName;
    QString m_hostName;
    QString m_userName;
    QString m_password;
    QString m_connectionOptions;
};

#endif

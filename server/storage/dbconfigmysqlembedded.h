#ifndef TALVORI_DBCONFIGMYSQLEMBEDDED_H
#define TALVORI_DBCONFIGMYSQLEMBEDDED_H

#include "storage/dbconfig.h"

// The MySQL server library linked into the process ("QMYSQL_EMBEDDED"), with its data below the
// user's data directory. Only usable where that Qt SQL driver exists.
class DbConfigMysqlEmbedded : public DbConfig
{
public:
    DbConfigMysqlEmbedded();

    QString driverName() const override;
    QString databaseName() const override;
    bool init(QSettings &settings) override;
    void apply(QSqlDatabase &db) override;
    bool useInternalServer() const override;

private:
    QString m_databaseName;
    QString m_hostName;
    QString m_userName;
    QString m_password;
    QString m_connectionOptions;
};

#endif

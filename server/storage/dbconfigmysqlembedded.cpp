#include "storage/dbconfigmysqlembedded.h"

#include "common/log.h"

#include <xdgbasedirs.h>

#include <QDir>

#include <cstdlib>

DbConfigMysqlEmbedded::DbConfigMysqlEmbedded() = default;

QString DbConfigMysqlEmbedded::driverName() const
{
    return QStringLiteral("QMYSQL_EMBEDDED");
}

QString DbConfigMysqlEmbedded::databaseName() const
{
    return m_databaseName;
}

bool DbConfigMysqlEmbedded::init(QSettings &settings)
{
    const QString dataHome = XdgBaseDirs::saveDir("data", QStringLiteral("talvori"));
    if (dataHome.isEmpty()) {
        logFatal() << "Unable to create directory 'talvori' in " << XdgBaseDirs::homePath("data")
                   << "during database initialization";
        std::abort();
    }
    const QString dataDir = dataHome + QDir::separator() + QLatin1String("db") + QDir::separator();
    for (const QString &dir : {dataDir, dataDir + QLatin1String("talvori")}) {
        if (!QDir().mkpath(dir)) {
            logFatal() << "Unable to create directory" << dir << "during database initialization.";
            std::abort();
        }
    }

    settings.beginGroup(driverName());
    m_databaseName = settings.value(QStringLiteral("Name"), QStringLiteral("talvori")).toString();
    m_hostName = settings.value(QStringLiteral("Host"), QString()).toString();
    m_userName = settings.value(QStringLiteral("User"), QString()).toString();
    m_password = settings.value(QStringLiteral("Password"), QString()).toString();
    m_connectionOptions
        = settings.value(QStringLiteral("Options"), QStringLiteral("SERVER_DATADIR=%1").arg(dataDir)).toString();
    settings.setValue(QStringLiteral("Name"), m_databaseName);
    settings.setValue(QStringLiteral("Options"), m_connectionOptions);
    settings.endGroup();
    settings.sync();
    return true;
}

void DbConfigMysqlEmbedded::apply(QSqlDatabase &db)
{
    applyConnectionValues(db, m_databaseName, m_hostName, m_userName, m_password);
    db.setConnectOptions(m_connectionOptions);
}

bool DbConfigMysqlEmbedded::useInternalServer() const
{
    return false;
}

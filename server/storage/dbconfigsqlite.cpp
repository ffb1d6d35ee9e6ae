#include "storage/dbconfigsqlite.h"

#include "common/log.h"
#include "storage/sqlitedriver.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QFile>

#include <cstdlib>

namespace {

QString sqliteDataFile()
{
    const QString dataHome = XdgBaseDirs::saveDir("data", QStringLiteral("talvori"));
    if (dataHome.isEmpty()) {
        logFatal() << "Unable to create directory 'talvori' in " << XdgBaseDirs::homePath("data")
                   << "during database initialization";
        std::abort();
    }
    const QString path = dataHome + QDir::separator() + QLatin1String("talvori.db");
    if (!QFile::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            logFatal() << "Unable to create file" << path << "during database initialization.";
            std::abort();
        }
    }
    return path;
}

} // namespace

DbConfigSqlite::DbConfigSqlite(Version version)
    : m_version(version)
{
    if (m_version == Custom)
        SqliteDriver::registerDriver();
}

QString DbConfigSqlite::driverName() const
{
    return m_version == Custom ? QStringLiteral("QSQLITE3") : QStringLiteral("QSQLITE");
}

QString DbConfigSqlite::databaseName() const
{
    return m_databaseName;
}

bool DbConfigSqlite::init(QSettings &settings)
{
    const QString defaultFile = sqliteDataFile();
    settings.beginGroup(driverName());
    m_databaseName = settings.value(QStringLiteral("Name"), defaultFile).toString();
    m_hostName = settings.value(QStringLiteral("Host"), QString()).toString();
    m_userName = settings.value(QStringLiteral("User"), QString()).toString();
    m_password = settings.value(QStringLiteral("Password"), QString()).toString();
    m_connectionOptions = settings.value(QStringLiteral("Options"), QString()).toString();
    settings.setValue(QStringLiteral("Name"), m_databaseName);
    settings.endGroup();
    settings.sync();
    return true;
}

void DbConfigSqlite::apply(QSqlDatabase &db)
{
    applyConnectionValues(db, m_databaseName, m_hostName, m_userName, m_password);
    db.setConnectOptions(m_connectionOptions);
}

bool DbConfigSqlite::useInternalServer() const
{
    return false;
}

#include "teststorage.h"

#include "storage/datastore.h"
#include "storage/dbconfig.h"

#include <xdgbasedirs.h>

#include <QSettings>

TestStorage::TestStorage(const QString &driver)
    : m_backend(driver)
{
}

bool TestStorage::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool TestStorage::prepare()
{
    if (!m_environment.isValid())
        return fail(QStringLiteral("no temporary directory"));
    if (!m_backend.start())
        return fail(m_backend.errorString());
    {
        QSettings settings(m_environment.serverSettingsFile(), QSettings::IniFormat);
        m_backend.configure(settings, m_environment.dataHome() + QLatin1String("/talvori/talvori.db"));
    }
    QString error;
    return openDataStore(&error) || fail(error);
}

bool TestStorage::openDataStore(QString *error)
{
    QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    if (!DbConfig::configuredDatabase()->init(settings)) {
        *error = QStringLiteral("the backend did not accept its settings");
        return false;
    }
    if (!DataStore::self()->isOpened()) {
        *error = QStringLiteral("the data store did not open its connection");
        return false;
    }
    if (!DataStore::self()->init()) {
        *error = QStringLiteral("the data store did not create its schema");
        return false;
    }
    return true;
}

QSqlDatabase TestStorage::createEmptyDatabase(const QString &name, QString *error)
{
    return m_backend.createEmptyDatabase(name, m_environment.dataHome(), error);
}

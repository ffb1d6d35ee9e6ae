#include "tempenvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>

// Every environment changes TMPDIR; later ones still go below the temporary directory the process
// started with, not inside an earlier one that may be gone by then.
static QString baseTempDir()
{
    static const QString base = QDir::tempPath();
    return base;
}

TempEnvironment::TempEnvironment()
    : m_dir(baseTempDir() + QLatin1String("/tv-XXXXXX"))
{
    QDir().mkpath(dataHome());
    QDir().mkpath(configHome());
    QDir().mkpath(tempDir());
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_environment = QProcessEnvironment::systemEnvironment();
    const QList<QPair<QString, QString>> values = {
        {QStringLiteral("XDG_DATA_HOME"), dataHome()},
        {QStringLiteral("XDG_CONFIG_HOME"), configHome()},
        {QStringLiteral("TMPDIR"), tempDir()},
        {QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir()},
    };
    for (const auto &value : values) {
        m_environment.insert(value.first, value.second);
        qputenv(value.first.toLocal8Bit().constData(), value.second.toLocal8Bit());
    }
}

void TempEnvironment::writeServerSettings(const QString &group, const QString &key, const QVariant &value) const
{
    QSettings settings(serverSettingsFile(), QSettings::IniFormat);
    settings.setValue(group + QLatin1Char('/') + key, value);
}

void TempEnvironment::setVariable(const QString &name, const QString &value)
{
    m_environment.insert(name, value);
    qputenv(name.toLocal8Bit().constData(), value.toLocal8Bit());
}

void TempEnvironment::unsetVariable(const QString &name)
{
    m_environment.remove(name);
    qunsetenv(name.toLocal8Bit().constData());
}

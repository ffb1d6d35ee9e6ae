#include "daxconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

DaxConfig::DaxConfig(const QString &fileName, OpenFlags flags, const QString &resourceType)
{
    Q_UNUSED(resourceType);
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    const QString userDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString path = QFileInfo(fileName).isAbsolute() ? fileName : userDir + QLatin1Char('/') + fileName;
    m_user = std::make_unique<QSettings>(path, QSettings::IniFormat);

    auto addFallback = [this, &path](const QString &candidate) {
        if (candidate != path && QFileInfo::exists(candidate)) {
            m_fallbacks.push_back(std::make_unique<QSettings>(candidate, QSettings::IniFormat));
        }
    };
    if (flags & CascadeConfig) {
        for (const QString &dir : dirs) {
            addFallback(dir + QLatin1Char('/') + fileName);
        }
    }
    if (flags & IncludeGlobals) {
        for (const QString &dir : dirs) {
            addFallback(dir + QStringLiteral("/daxglobals"));
        }
    }
}

DaxConfig::~DaxConfig()
{
    m_user->sync();
}

DaxConfigGroup DaxConfig::group(const QString &name)
{
    return DaxConfigGroup(this, name);
}

QString DaxConfig::filePath() const
{
    return m_user->fileName();
}

bool DaxConfig::sync()
{
    QDir().mkpath(QFileInfo(m_user->fileName()).absolutePath());
    m_user->sync();
    return m_user->status() == QSettings::NoError;
}

QVariant DaxConfig::readValue(const QString &key, const QVariant &defaultValue) const
{
    if (m_user->contains(key)) {
        return m_user->value(key);
    }
    for (const auto &fallback : m_fallbacks) {
        if (fallback->contains(key)) {
            return fallback->value(key);
        }
    }
    return defaultValue;
}

bool DaxConfig::hasValue(const QString &key) const
{
    if (m_user->contains(key)) {
        return true;
    }
    for (const auto &fallback : m_fallbacks) {
        if (fallback->contains(key)) {
            return true;
        }
    }
    return false;
}

void DaxConfig::writeValue(const QString &key, const QVariant &value)
{
    m_user->setValue(key, value);
}

void DaxConfig::removeValue(const QString &key)
{
    m_user->remove(key);
}

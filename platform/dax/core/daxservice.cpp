#include "daxservice.h"

#include <QFileInfo>
#include <QJsonArray>

DaxService::DaxService(const QString &libraryPath, const QJsonObject &description)
    : m_path(libraryPath)
    , m_description(description)
{
    // "libfoo.so" and "foo.so" are both the library "foo".
    QString base = QFileInfo(libraryPath).completeBaseName();
    if (base.startsWith(QLatin1String("lib")) && base.size() > 3)
        base = base.mid(3);
    m_library = base;
}

QString DaxService::name() const
{
    return m_description.value(QLatin1String("Name")).toString();
}

QString DaxService::comment() const
{
    return m_description.value(QLatin1String("Comment")).toString();
}

QString DaxService::icon() const
{
    return m_description.value(QLatin1String("Icon")).toString();
}

QString DaxService::pluginKeyword() const
{
    return m_description.value(QLatin1String("Keyword")).toString();
}

QStringList DaxService::serviceTypes() const
{
    QStringList types;
    const QJsonArray array = m_description.value(QLatin1String("ServiceTypes")).toArray();
    for (const QJsonValue &value : array)
        types.append(value.toString());
    return types;
}

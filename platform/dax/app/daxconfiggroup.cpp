#include "daxconfiggroup.h"
#include "daxconfig.h"

#include <QStringList>

DaxConfigGroup::DaxConfigGroup(DaxConfig *config, const QString &name)
    : m_config(config)
    , m_name(name)
{
}

DaxConfigGroup DaxConfigGroup::group(const QString &name) const
{
    return DaxConfigGroup(m_config, m_name + QLatin1Char('/') + name);
}

QString DaxConfigGroup::fullKey(const QString &key) const
{
    return m_name + QLatin1Char('/') + key;
}

bool DaxConfigGroup::hasKey(const QString &key) const
{
    return m_config->hasValue(fullKey(key));
}

QVariant DaxConfigGroup::readEntry(const QString &key, const QVariant &defaultValue) const
{
    return m_config->readValue(fullKey(key), defaultValue);
}

QString DaxConfigGroup::readEntry(const QString &key, const QString &defaultValue) const
{
    const QVariant value = readEntry(key, QVariant());
    if (!value.isValid()) {
        return defaultValue;
    }
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

void DaxConfigGroup::writeEntry(const QString &key, const QVariant &value)
{
    m_config->writeValue(fullKey(key), value);
}

void DaxConfigGroup::deleteEntry(const QString &key)
{
    m_config->removeValue(fullKey(key));
}

#ifndef DAXCONFIGGROUP_H
#define DAXCONFIGGROUP_H

#include <QString>
#include <QVariant>

class DaxConfig;

// A named group of keys inside a DaxConfig. A light handle: the DaxConfig must outlive it.
class DaxConfigGroup
{
public:
    DaxConfigGroup(DaxConfig *config, const QString &name);

    QString name() const { return m_name; }
    DaxConfig *config() const { return m_config; }
    DaxConfigGroup group(const QString &name) const;

    bool hasKey(const QString &key) const;
    QVariant readEntry(const QString &key, const QVariant &defaultValue = QVariant()) const;
    // Text values; a text with commas written by hand (unquoted) reads back whole.
    QString readEntry(const QString &key, const QString &defaultValue) const;
    QString readEntry(const QString &key, const char *defaultValue) const
    {
        return readEntry(key, QString::fromUtf8(defaultValue));
    }
    template<typename T>
    T readEntry(const QString &key, const T &defaultValue) const
    {
        const QVariant value = readEntry(key, QVariant());
        return value.isValid() && value.canConvert<T>() ? value.value<T>() : defaultValue;
    }
    void writeEntry(const QString &key, const QVariant &value);
    void deleteEntry(const QString &key);

private:
    QString fullKey(const QString &key) const;

    DaxConfig *m_config;
    QString m_name;
};

#endif

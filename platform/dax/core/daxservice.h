#ifndef DAXSERVICE_H
#define DAXSERVICE_H

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// One installed plug-in as its service description tells it (see DaxServiceTypeTrader for the
// format). A default-constructed service is invalid.
class DaxService
{
public:
    DaxService() = default;
    DaxService(const QString &libraryPath, const QJsonObject &description);

    bool isValid() const { return !m_library.isEmpty(); }
    QString name() const;
    QString comment() const;
    QString icon() const;
    // The plug-in keyword the factory registered the service's class under (usually empty).
    QString pluginKeyword() const;
    QStringList serviceTypes() const;
    bool hasServiceType(const QString &type) const { return serviceTypes().contains(type); }
    // Library base name, as given to DaxPluginLoader; entryPath() is the file it came from.
    QString library() const { return m_library; }
    QString entryPath() const { return m_path; }
    QVariant property(const QString &key) const { return m_description.value(key).toVariant(); }

private:
    QString m_path;
    QString m_library;
    QJsonObject m_description;
};

using DaxServiceList = QList<DaxService>;

#endif

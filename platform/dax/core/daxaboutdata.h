#ifndef DAXABOUTDATA_H
#define DAXABOUTDATA_H

#include <QString>

// Who a component is: the name it is known by internally, its version and the name users see.
class DaxAboutData
{
public:
    DaxAboutData() = default;
    DaxAboutData(const QString &componentName, const QString &version, const QString &displayName);

    QString componentName() const { return m_componentName; }
    QString version() const { return m_version; }
    QString displayName() const { return m_displayName; }
    bool isValid() const { return !m_componentName.isEmpty(); }

private:
    QString m_componentName;
    QString m_version;
    QString m_displayName;
};

#endif

#include "daxaboutdata.h"

DaxAboutData::DaxAboutData(const QString &componentName, const QString &version, const QString &displayName)
    : m_componentName(componentName)
    , m_version(version)
    , m_displayName(displayName)
{
}

#include "daxappaboutdata.h"

#include <QCoreApplication>

namespace {
DaxAppAboutData &currentData()
{
    static DaxAppAboutData data({}, {}, {});
    return data;
}
}

DaxAppAboutData::DaxAppAboutData(const QString &appName, const QString &displayName, const QString &version,
                                 const QString &shortDescription)
    : m_appName(appName)
    , m_displayName(displayName)
    , m_version(version)
    , m_shortDescription(shortDescription)
{
}

void DaxAppAboutData::addAuthor(const QString &name, const QString &task, const QString &emailAddress)
{
    m_authors.append({name, task, emailAddress});
}

DaxAppAboutData DaxAppAboutData::applicationData()
{
    return currentData();
}

void DaxAppAboutData::setApplicationData(const DaxAppAboutData &data)
{
    currentData() = data;
}

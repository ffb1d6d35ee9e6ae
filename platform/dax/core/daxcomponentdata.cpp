#include "daxcomponentdata.h"

#include <QCoreApplication>
#include <QMutex>

namespace {
QMutex mainMutex;
DaxComponentData *mainData = nullptr;
}

DaxComponentData::DaxComponentData(const DaxAboutData &about)
    : m_about(about)
{
}

DaxComponentData DaxComponentData::mainComponent()
{
    QMutexLocker lock(&mainMutex);
    if (mainData)
        return *mainData;
    return DaxComponentData(DaxAboutData(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                                         QCoreApplication::applicationName()));
}

void DaxComponentData::setMainComponent(const DaxComponentData &component)
{
    QMutexLocker lock(&mainMutex);
    delete mainData;
    mainData = new DaxComponentData(component);
}

#include "daxapplication.h"

DaxApplication::DaxApplication(int &argc, char **argv, const DaxAppAboutData &about)
    : QApplication(argc, argv)
{
    DaxAppAboutData::setApplicationData(about);
    setApplicationName(about.appName());
    setApplicationDisplayName(about.displayName());
    setApplicationVersion(about.version());
}

#ifndef DAXAPPLICATION_H
#define DAXAPPLICATION_H

#include "daxappaboutdata.h"

#include <QApplication>

// The application object of a desktop program: Qt's, named after the program's about data.
class DaxApplication : public QApplication
{
    Q_OBJECT
public:
    DaxApplication(int &argc, char **argv, const DaxAppAboutData &about);
};

#endif

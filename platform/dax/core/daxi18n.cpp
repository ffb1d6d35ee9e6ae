#include "daxi18n.h"

#include <QCoreApplication>

QString daxTranslate(const char *text)
{
    // Without a QCoreApplication there is no translator to ask.
    if (!QCoreApplication::instance())
        return QString::fromUtf8(text);
    return QCoreApplication::translate("dax", text);
}

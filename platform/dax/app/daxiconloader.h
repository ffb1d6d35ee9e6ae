#ifndef DAXICONLOADER_H
#define DAXICONLOADER_H

#include <QIcon>
#include <QString>

// Icons by their theme name.
class DaxIconLoader
{
public:
    // The icon at small (16 pixel) size; a generic icon of the style when the theme has none.
    static QIcon smallIcon(const QString &name);
};

#endif

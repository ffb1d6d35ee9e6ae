#include "daxiconloader.h"

#include <QApplication>
#include <QStyle>

QIcon DaxIconLoader::smallIcon(const QString &name)
{
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull() && qobject_cast<QApplication *>(QCoreApplication::instance())) {
        icon = QApplication::style()->standardIcon(QStyle::SP_DesktopIcon);
    }
    if (icon.isNull()) {
        return icon;
    }
    return QIcon(icon.pixmap(16, 16));
}

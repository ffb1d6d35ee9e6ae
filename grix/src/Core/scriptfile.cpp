#include "scriptfile.h"

#include <daxdebug.h>

#include <QFile>
#include <QTextStream>

namespace ScriptFile {

QString read(const QString &path, bool *ok)
{
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (ok)
        *ok = opened;
    if (!opened) {
        daxDebug() << "File not found";
        return QString();
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QString text;
    QString line;
    while (in.readLineInto(&line))
        text += line + QLatin1Char('\n');
    return text;
}

}

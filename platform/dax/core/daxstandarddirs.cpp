#include "daxstandarddirs.h"

#include "daxdebug.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStandardPaths>

namespace {

QStringList envDirs(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name)).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString programDir()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}

void appendExisting(QStringList *dirs, const QString &dir)
{
    if (dir.isEmpty())
        return;
    const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
    if (!dirs->contains(clean) && QFileInfo(clean).isDir())
        dirs->append(clean);
}

} // namespace

QStringList DaxStandardDirs::pluginDirs()
{
    QStringList dirs;
    for (const QString &dir : envDirs("DAX_PLUGIN_PATH"))
        appendExisting(&dirs, dir);
    if (!programDir().isEmpty()) {
        appendExisting(&dirs, programDir() + QLatin1String("/../plugins"));
        appendExisting(&dirs, programDir() + QLatin1String("/" DAX_PLUGIN_DIR_FROM_PROGRAM));
    }
    appendExisting(&dirs, QStringLiteral(DAX_INSTALL_PLUGIN_DIR));
    return dirs;
}

QString DaxStandardDirs::findPlugin(const QString &libraryName)
{
    if (libraryName.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(libraryName))
        return QFileInfo(libraryName).isFile() ? libraryName : QString();
    // A name is a name, not a path: "../x" must not reach outside the plug-in directories.
    if (libraryName.contains(QLatin1Char('/')))
        return QString();
    for (const QString &dir : pluginDirs()) {
        const QDir d(dir);
        const QStringList candidates = d.entryList({libraryName + QLatin1String(".*"),
                                                    QLatin1String("lib") + libraryName + QLatin1String(".*")},
                                                   QDir::Files, QDir::Name);
        for (const QString &file : candidates) {
            const QString path = d.absoluteFilePath(file);
            if (QLibrary::isLibrary(path))
                return path;
        }
    }
    return QString();
}

QStringList DaxStandardDirs::resourceDirs(const QString &type)
{
    const bool appData = type == QLatin1String("appdata");
    if (!appData && type != QLatin1String("data")) {
        daxDebug() << "Unknown resource type " << type;
        return {};
    }
    QStringList dataDirs;
    if (!programDir().isEmpty())
        dataDirs.append(programDir() + QLatin1String("/../share"));
    dataDirs += QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    dataDirs.append(QStringLiteral(DAX_INSTALL_DATA_DIR));

    QStringList dirs;
    if (appData) {
        for (const QString &dir : envDirs("DAX_DATA_DIRS"))
            appendExisting(&dirs, dir);
    }
    const QString suffix = appData ? QLatin1Char('/') + QCoreApplication::applicationName() : QString();
    for (const QString &dir : std::as_const(dataDirs))
        appendExisting(&dirs, dir + suffix);
    return dirs;
}

QString DaxStandardDirs::locate(const QString &type, const QString &relativePath)
{
    for (const QString &dir : resourceDirs(type)) {
        const QString path = dir + QLatin1Char('/') + relativePath;
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

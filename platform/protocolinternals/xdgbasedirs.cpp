#include "xdgbasedirs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

static QString envOr(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

// Before the application object exists, the program's directory is not known.
static QStringList installationConfigDirs()
{
    QStringList dirs;
    if (QCoreApplication::instance()) {
        dirs.append(QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                                    + QLatin1String(TALVORI_XDG_CONFIG_DIR_FROM_PROGRAM)));
    }
    dirs.append(QStringLiteral(TALVORI_INSTALL_XDG_CONFIG_DIR));
    return dirs;
}

QString XdgBaseDirs::homePath(const char *type)
{
    const QString home = QDir::homePath();
    if (qstrcmp(type, "data") == 0)
        return envOr("XDG_DATA_HOME", home + QLatin1String("/.local/share"));
    if (qstrcmp(type, "config") == 0)
        return envOr("XDG_CONFIG_HOME", home + QLatin1String("/.config"));
    return QString();
}

QStringList XdgBaseDirs::searchPath(const char *type)
{
    QStringList dirs;
    const QString home = homePath(type);
    if (!home.isEmpty())
        dirs.append(home);
    QString system;
    if (qstrcmp(type, "data") == 0)
        system = envOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    else if (qstrcmp(type, "config") == 0)
        system = envOr("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    QStringList candidates = system.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (qstrcmp(type, "config") == 0)
        candidates += installationConfigDirs();
    for (const QString &dir : std::as_const(candidates)) {
        if (!dirs.contains(dir))
            dirs.append(dir);
    }
    return dirs;
}

QString XdgBaseDirs::saveDir(const char *type, const QString &relPath)
{
    const QString home = homePath(type);
    if (home.isEmpty())
        return QString();
    const QString path = QDir::cleanPath(home + QLatin1Char('/') + relPath);
    if (!QDir().mkpath(path))
        return QString();
    return path;
}

QString XdgBaseDirs::findResourceFile(const char *type, const QString &relPath)
{
    for (const QString &dir : searchPath(type)) {
        const QFileInfo info(dir + QLatin1Char('/') + relPath);
        if (info.exists() && info.isFile())
            return info.absoluteFilePath();
    }
    return QString();
}

QString XdgBaseDirs::findExecutableFile(const QString &name, const QStringList &extraDirs)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(name, extraDirs);
}

QString XdgBaseDirs::configFile(const QString &relPath, FileAccessMode access)
{
    if (access == ReadOnly) {
        const QString existing = findResourceFile("config", relPath);
        if (!existing.isEmpty())
            return existing;
        return homePath("config") + QLatin1Char('/') + relPath;
    }
    const QFileInfo info(homePath("config") + QLatin1Char('/') + relPath);
    QDir().mkpath(info.absolutePath());
    return info.absoluteFilePath();
}

QString XdgBaseDirs::talvoriServerConfigFile(FileAccessMode access)
{
    return configFile(QStringLiteral("talvori/talvoriserverrc"), access);
}

QString XdgBaseDirs::talvoriConnectionConfigFile(FileAccessMode access)
{
    return configFile(QStringLiteral("talvori/talvoriconnectionrc"), access);
}

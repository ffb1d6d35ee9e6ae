#ifndef TALVORI_XDGBASEDIRS_H
#define TALVORI_XDGBASEDIRS_H

#include <QString>
#include <QStringList>

// The user's base directories: XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_DATA_DIRS, XDG_CONFIG_DIRS and
// PATH, read afresh on every call so a test can point them all at a temporary directory.
// Types are "data" and "config". The configuration directories end with this installation's own,
// so that a program finds the templates installed with it under any prefix, and a program in a
// build tree those of the build tree.
class XdgBaseDirs
{
public:
    enum FileAccessMode { ReadOnly = 1, WriteOnly = 2, ReadWrite = 3 };

    // The user's own directory of the type (XDG_DATA_HOME or ~/.local/share, XDG_CONFIG_HOME or
    // ~/.config).
    static QString homePath(const char *type);
    // The user's directory plus the system directories of the type, in search order. For "config"
    // these are followed by <program dir>/../etc/xdg (where <prefix>/etc/xdg and <build>/etc/xdg
    // lie) and the configuration directory of the prefix the tree was configured for.
    static QStringList searchPath(const char *type);

    // homePath(type)/relPath, created when missing; empty when it cannot be created.
    static QString saveDir(const char *type, const QString &relPath);
    // The first existing file relPath below the directories of the type, or empty.
    static QString findResourceFile(const char *type, const QString &relPath);
    // The first executable called name on PATH, then in extraDirs, or empty.
    static QString findExecutableFile(const QString &name, const QStringList &extraDirs = QStringList());

    // "talvori/talvoriserverrc" and "talvori/talvoriconnectionrc" in the configuration directory.
    // For reading, an existing file in a system configuration directory is used when the user has
    // none; for writing it is always the user's file, and its directory is created.
    static QString talvoriServerConfigFile(FileAccessMode access = ReadOnly);
    static QString talvoriConnectionConfigFile(FileAccessMode access = ReadOnly);

private:
    static QString configFile(const QString &relPath, FileAccessMode access);
};

#endif

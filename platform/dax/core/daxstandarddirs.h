#ifndef DAXSTANDARDDIRS_H
#define DAXSTANDARDDIRS_H

#include <QString>
#include <QStringList>

// Where plug-ins and data files are found. Directories beside the running program come before
// the installed ones, so a build tree runs with its own plug-ins and data.
class DaxStandardDirs
{
public:
    // The directories in $DAX_PLUGIN_PATH (colon separated), <program dir>/../plugins (a build
    // tree), the installed plug-in directory seen from the program (<prefix>/bin to
    // <prefix>/lib/talvori/plugins, wherever the tree was installed), then the one of the prefix
    // the tree was configured for; only those that exist.
    static QStringList pluginDirs();
    // The file of a plug-in library given by name ("foo" finds foo.so or libfoo.so), or by path.
    static QString findPlugin(const QString &libraryName);

    // Directories of a resource type. "appdata": $DAX_DATA_DIRS (colon separated, taken as they
    // are), then <data dir>/<application name> for <program dir>/../share, the user's and the
    // system's data directories. "data": the same data directories without the application name.
    static QStringList resourceDirs(const QString &type);
    // Absolute path of the first existing file relativePath in the directories of type, else "".
    static QString locate(const QString &type, const QString &relativePath);
};

#endif

#ifndef TALVORI_INSTALLEDTREE_H
#define TALVORI_INSTALLEDTREE_H

#include <QString>
#include <QTemporaryDir>

// The build tree installed into a temporary prefix with `cmake --install`, as a user installs it,
// for the tests of what an installation holds and does. The prefix goes when the object does.
class InstalledTree
{
public:
    InstalledTree();

    // Installs everything the build tree installs. False with errorString().
    bool install();
    QString errorString() const { return m_error; }

    QString prefix() const { return m_dir.path() + QLatin1String("/prefix"); }
    // A path below the prefix ("bin/talvoriserver").
    QString filePath(const QString &relative) const { return prefix() + QLatin1Char('/') + relative; }
    // A directory of the temporary directory beside the prefix, for what a test makes itself.
    QString workPath(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }

    // The build tree, and the cmake and cpack programs it was configured with.
    static QString buildDir();
    static QString cmakeCommand();
    static QString cpackCommand();

private:
    QTemporaryDir m_dir;
    QString m_error;
};

#endif

#include "installedtree.h"

#include "commandrun.h"

#include <QDir>

InstalledTree::InstalledTree()
    : m_dir(QDir::tempPath() + QLatin1String("/tv-install-XXXXXX"))
{
}

QString InstalledTree::buildDir()
{
    return QStringLiteral(TALVORI_BUILD_ROOT);
}

QString InstalledTree::cmakeCommand()
{
    return QStringLiteral(TALVORI_CMAKE_COMMAND);
}

QString InstalledTree::cpackCommand()
{
    return QStringLiteral(TALVORI_CPACK_COMMAND);
}

bool InstalledTree::install()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    const CommandRun run = CommandRun::run(cmakeCommand(), {QStringLiteral("--install"), buildDir(),
                                                            QStringLiteral("--prefix"), prefix()});
    if (!run.ok())
        m_error = run.describe();
    return run.ok();
}

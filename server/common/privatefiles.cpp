#include "common/privatefiles.h"

#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>

namespace {
constexpr mode_t GroupAndOther = S_IRWXG | S_IRWXO;
}

void PrivateFiles::restrictNewFiles()
{
    ::umask(GroupAndOther);
}

bool PrivateFiles::restrict(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode) || !(info.st_mode & GroupAndOther))
        return true;
    ::chmod(name.constData(), info.st_mode & 07777 & ~GroupAndOther);
    return false;
}

int PrivateFiles::restrictTree(const QString &path)
{
    int changed = restrict(path) ? 0 : 1;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (!restrict(it.next()))
            ++changed;
    }
    return changed;
}

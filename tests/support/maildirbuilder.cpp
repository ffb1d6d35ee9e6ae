#include "maildirbuilder.h"

#include <QDir>
#include <QFile>

MaildirBuilder::MaildirBuilder(const QString &root)
    : m_root(root)
{
}

QString MaildirBuilder::folderPath(const QString &folder) const
{
    return folder.isEmpty() ? m_root : m_root + QLatin1Char('/') + folder;
}

bool MaildirBuilder::addFolder(const QString &folder)
{
    const QString path = folderPath(folder);
    for (const char *subdirectory : {"cur", "new", "tmp"}) {
        if (!QDir().mkpath(path + QLatin1Char('/') + QLatin1String(subdirectory)))
            return false;
    }
    return true;
}

QString MaildirBuilder::messagePath(const QString &folder, const QString &unique, const QString &flags, bool inNew) const
{
    if (inNew)
        return folderPath(folder) + QLatin1String("/new/") + unique;
    return folderPath(folder) + QLatin1String("/cur/") + unique + QLatin1String(":2,") + flags;
}

QString MaildirBuilder::addMessage(const QString &folder, const QString &unique, const QByteArray &content,
                                   const QString &flags, bool inNew)
{
    const QString path = messagePath(folder, unique, flags, inNew);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

QString MaildirBuilder::uniqueName(int index)
{
    // Time, delivery number and process, then the host, as delivery agents write them.
    return QStringLiteral("%1.M%2P4242Q%3.testhost").arg(1700000000 + index).arg(index * 7 + 1).arg(index);
}

#include "maildirfolder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

MaildirFolder::MaildirFolder(const QString &path, const QString &remoteId, const QString &name,
                             const QString &parentRemoteId)
    : m_path(path)
    , m_remoteId(remoteId)
    , m_name(name)
    , m_parentRemoteId(parentRemoteId)
{
}

QList<MaildirEntry> MaildirFolder::messages(QStringList *errors) const
{
    QList<MaildirEntry> entries;
    for (const QString &subdirectory : {QStringLiteral("new"), QStringLiteral("cur")}) {
        const QDir dir(m_path + QLatin1Char('/') + subdirectory);
        if (!dir.exists())
            continue;
        // System entries too: a dangling link is a message that cannot be read, not no message.
        const QStringList names = dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        if (names.isEmpty() && !QFileInfo(dir.path()).isReadable())
            errors->append(QStringLiteral("%1: cannot list the directory").arg(dir.path()));
        for (const QString &name : names) {
            if (!name.startsWith(QLatin1Char('.')))
                entries.append(MaildirEntry::fromFileName(subdirectory, name));
        }
    }
    std::sort(entries.begin(), entries.end(), [](const MaildirEntry &a, const MaildirEntry &b) {
        return a.uniqueName() < b.uniqueName();
    });
    return entries;
}

QString MaildirFolder::filePath(const MaildirEntry &entry) const
{
    return m_path + QLatin1Char('/') + entry.relativePath();
}

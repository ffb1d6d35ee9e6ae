#include "maildirtree.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

bool isMaildir(const QString &path)
{
    return QFileInfo(path + QLatin1String("/cur")).isDir() || QFileInfo(path + QLatin1String("/new")).isDir();
}

} // namespace

MaildirTree::MaildirTree(const QString &root)
    : m_root(QFileInfo(root).absoluteFilePath())
{
}

QString MaildirTree::check() const
{
    if (!QFileInfo(m_root).isDir())
        return QStringLiteral("%1 is not a directory").arg(m_root);
    if (!isMaildir(m_root))
        return QStringLiteral("%1 is not a Maildir: it has neither cur/ nor new/").arg(m_root);
    return QString();
}

QList<MaildirFolder> MaildirTree::folders() const
{
    const QString rootName = QFileInfo(m_root).fileName();
    QList<MaildirFolder> folders{MaildirFolder(m_root, m_root, rootName, QString())};

    // By name, so ".A" comes before ".A.B".
    const QStringList names = QDir(m_root).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QSet<QString> subfolders;
    for (const QString &name : names) {
        if (name.size() < 2 || !name.startsWith(QLatin1Char('.')) || !isMaildir(m_root + QLatin1Char('/') + name))
            continue;
        QString parent = m_root;
        QString displayName = name.mid(1);
        for (qsizetype dot = name.lastIndexOf(QLatin1Char('.')); dot > 0; dot = name.lastIndexOf(QLatin1Char('.'), dot - 1)) {
            const QString ancestor = name.left(dot);
            if (subfolders.contains(ancestor)) {
                parent = ancestor;
                displayName = name.mid(dot + 1);
                break;
            }
        }
        if (displayName.isEmpty()) // ".A." has nothing after its last dot
            displayName = name.mid(1);
        subfolders.insert(name);
        folders.append(MaildirFolder(m_root + QLatin1Char('/') + name, name, displayName, parent));
    }
    return folders;
}

#ifndef TALVORI_MAILDIRFOLDER_H
#define TALVORI_MAILDIRFOLDER_H

#include "maildirentry.h"

#include <QList>
#include <QString>
#include <QStringList>

// One folder of a Maildir tree: a directory with cur/ and new/, either the tree's root or a
// Maildir++ subfolder (".Lists.qt" below the root is "qt" inside "Lists"). The folder is only
// read, never changed.
class MaildirFolder
{
public:
    MaildirFolder() = default;
    // parentRemoteId is empty for the root.
    MaildirFolder(const QString &path, const QString &remoteId, const QString &name, const QString &parentRemoteId);

    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // What the folder's collection is known by: the root's absolute path, a subfolder's directory
    // name.
    QString remoteId() const { return m_remoteId; }
    QString name() const { return m_name; }
    QString parentRemoteId() const { return m_parentRemoteId; }
    bool isRoot() const { return m_parentRemoteId.isEmpty(); }

    // The message files of new/ and cur/, by unique name. Hidden names and directories are not
    // messages; a subdirectory that cannot be listed is said in errors.
    QList<MaildirEntry> messages(QStringList *errors) const;
    QString filePath(const MaildirEntry &entry) const;

private:
    QString m_path;
    QString m_remoteId;
    QString m_name;
    QString m_parentRemoteId;
};

#endif

#ifndef TALVORI_MAILDIRTREE_H
#define TALVORI_MAILDIRTREE_H

#include "maildirfolder.h"

#include <QList>
#include <QString>

// A Maildir and its Maildir++ subfolders: the directories below the root whose names begin with a
// dot and that hold cur/ or new/. ".A.B" belongs inside ".A" when there is one, else in the
// nearest dotted ancestor there is, else in the root.
class MaildirTree
{
public:
    explicit MaildirTree(const QString &root);

    // Empty when the root is a Maildir, otherwise why it is not.
    QString check() const;
    QString rootPath() const { return m_root; }
    // The root first, then the subfolders, each after its parent.
    QList<MaildirFolder> folders() const;

private:
    QString m_root;
};

#endif

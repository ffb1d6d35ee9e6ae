#ifndef TALVORI_TREESYNCHRONIZER_H
#define TALVORI_TREESYNCHRONIZER_H

#include "maildirfolder.h"

#include <listingline.h>

#include <QHash>
#include <QList>
#include <QString>

class StoreSession;

// Mirrors the folders of a Maildir tree as the resource's collections, matched by remote
// identifier: a new folder gets a collection, one that moved or was renamed has its collection
// moved or renamed, and the collection of a folder that is gone is deleted with everything in it.
class TreeSynchronizer
{
public:
    explicit TreeSynchronizer(StoreSession &session);

    // folders as MaildirTree::folders() lists them, parents first. False when the server refused
    // a command (errorString()).
    bool run(const QString &resource, const QList<MaildirFolder> &folders);
    QString errorString() const;
    // The folder of each collection, by collection id.
    QHash<qint64, MaildirFolder> collections() const { return m_collections; }

private:
    bool deleteGone(const QList<ListingLine> &gone);

    StoreSession &m_session;
    QHash<qint64, MaildirFolder> m_collections;
};

#endif

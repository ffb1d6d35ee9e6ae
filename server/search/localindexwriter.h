#ifndef TALVORI_LOCALINDEXWRITER_H
#define TALVORI_LOCALINDEXWRITER_H

#include "search/localdocument.h"

#include <xapian.h>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

// The writing side of the local search index, owned by the indexing thread: it opens the index,
// makes a new one where there is none or it is damaged or of another format, finds what the
// index lacks against the store, and turns changed items into documents, reading them through
// the thread's own data store (payload through PartHelper).
//
// Commits do not wait for the disk (Xapian's DB_NO_SYNC): the index can always be made again from
// the store, and whatever a crash costs it is found by catchUp() at the next start, or the index
// is rebuilt when it no longer opens.
class LocalIndexWriter
{
public:
    // What is known about an item's change: its text (a new or changed payload, or a removal), only
    // where it lives or its revision (a move, new flags), or nothing (found out of date at start).
    enum class Change { Content, Metadata, Unknown };
    using Changes = QHash<qint64, Change>;
    // What two changes of one item amount to: new text wins, then the unknown.
    static Change merged(Change a, Change b);
    // Adds a change to changes, merged with one of the same item there.
    static void add(Changes &changes, qint64 itemId, Change change);

    explicit LocalIndexWriter(QString path);

    // Opens the index, or makes a new one; false (logged) when it cannot be written at all, for
    // example while another process holds it.
    bool open();
    // Throws the index away and starts an empty one (a damaged index found while writing).
    bool recreate(const QString &reason);
    // Whether the index was made new by the last open() or recreate().
    bool isNew() const { return m_new; }

    // Compares the index with the store: the documents of items the store no longer has are
    // removed at once (their ids are returned in removed), and the items the index lacks or has
    // out of date are returned, to be indexed. Xapian's exceptions pass through.
    Changes catchUp(QList<qint64> *removed);

    // Brings the documents of the items up to date with the store, removing those of items that
    // are gone; the ids whose documents changed. Xapian's exceptions pass through.
    QList<qint64> index(const Changes &changes);

    // Commits what index() wrote when enough has gathered, a while has passed since the last
    // commit, or idle says no more work is waiting.
    void commitIfDue(bool idle);
    void commit();

    const Xapian::Database &database() const { return m_database; }

private:
    struct StoredItem {
        LocalDocument::State state;
        QString mimeType;
        // The payload parts with their data: name and bytes; parts whose data is not in the
        // store (not cached) are left out and counted.
        QList<QPair<QString, QByteArray>> payloads;
        int uncachedPayloads = 0;
    };
    // The items of ids the store has, without payload; false when they cannot be read.
    bool readItems(const QList<qint64> &ids, QHash<qint64, StoredItem> *items);
    // Adds the payload of the items of ids, which must be among items.
    bool readPayloads(const QList<qint64> &ids, QHash<qint64, StoredItem> *items);
    QString mimeTypeName(qint64 mimeTypeId);
    bool createEmpty();
    // False when the index had no document of the item.
    bool remove(qint64 itemId);

    const QString m_path;
    Xapian::WritableDatabase m_database;
    LocalDocument m_documents;
    bool m_new = false;
    QHash<qint64, QString> m_mimeTypes;
    int m_uncommitted = 0;
    QElapsedTimer m_sinceCommit;
};

#endif

#ifndef TALVORI_ITEMCOPIER_H
#define TALVORI_ITEMCOPIER_H

#include "storage/entities.h"

#include <QHash>
#include <QList>

class DataStore;
class ImapSet;

// Copies items into a collection, for COPY and for the items of a copied collection. A copy is a
// new item of the source's type and size with the source's parts and flags, revision 0, the
// date-time and access time of the copy, no remote identifier or revision, and marked dirty: its
// resource has still to learn of it. Each part's payload is the copy's own (a payload file is
// copied to a file of its own). The mark that hides a new item until the preprocessors have seen
// it ("ATR:HIDDEN") is left out, since no preprocessor ever sees a copy.
//
// The database copies the rows itself, a few statements for thousands of items: the item rows in
// one statement, in the order of their sources, which gives the copies ascending ids in the same
// order; then, for each run of sources whose copies' ids run alongside, the parts kept in rows,
// the flags and the times. Payloads that live in files (or move between row and file under
// today's threshold) go one by one through PartHelper. Runs inside the caller's transaction; a
// failure leaves the rest to its rollback, payload files included.
class ItemCopier
{
public:
    explicit ItemCopier(DataStore *store);

    // False when an item cannot be copied, such as one whose payload file cannot be read.
    bool copy(const QList<Talvori::PimItem> &items, const Talvori::Collection &target);

private:
    // Sources whose ids and whose copies' ids both run on by one.
    struct Run {
        qint64 firstSource;
        qint64 lastSource;
        qint64 offset; // copy id - source id
    };

    // Copies the item rows of the sources in the set; their copies' ids by source id.
    bool insertItems(const ImapSet &sources, const Talvori::Collection &target, QHash<qint64, qint64> &copies);
    // The copies' times, parts kept in rows and flags.
    bool copyRun(const Run &run, const QDateTime &now);
    // The parts that do not stay in a row of the same kind, one by one.
    bool copyPartsOneByOne(const ImapSet &sources, const QHash<qint64, qint64> &copies);

    DataStore *m_store;
    QHash<qint64, Talvori::PimItem> m_sources;
};

#endif

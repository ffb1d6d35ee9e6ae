#ifndef TALVORI_ITEMCOPIER_H
#define TALVORI_ITEMCOPIER_H

#include "storage/entities.h"

#include <QList>

class DataStore;

// Copies items into a collection, for COPY and for the items of a copied collection. A copy is a
// new item of the source's type and size with the source's parts and flags, revision 0, the
// date-time of the copy, no remote identifier or revision, and marked dirty: its resource has
// still to learn of it. Each part's payload is the copy's own (a payload file is copied to a file
// of its own). The mark that hides a new item until the preprocessors have seen it ("ATR:HIDDEN")
// is left out, since no preprocessor ever sees a copy.
//
// The sources' parts and flags are read a batch of items at a time. Runs inside the caller's
// transaction; a failure leaves the rest to its rollback, payload files included.
class ItemCopier
{
public:
    explicit ItemCopier(DataStore *store);

    // False at the first item that cannot be copied, such as one whose payload file cannot be read.
    bool copy(const QList<Talvori::PimItem> &items, const Talvori::Collection &target);

private:
    // The parts (without the hidden mark) and flag ids of a batch of sources, by item id.
    bool loadSources(const QList<Talvori::PimItem> &items);
    bool copyItem(const Talvori::PimItem &source, const Talvori::Collection &target, const QDateTime &now);

    DataStore *m_store;
    QHash<qint64, QList<Talvori::Part>> m_parts;
    QHash<qint64, QList<qint64>> m_flags;
};

#endif

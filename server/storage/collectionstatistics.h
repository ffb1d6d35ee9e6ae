#ifndef TALVORI_COLLECTIONSTATISTICS_H
#define TALVORI_COLLECTIONSTATISTICS_H

#include <QString>
#include <QtGlobal>

namespace Talvori {
class Collection;
}

// The item counts a listing line and STATUS show for a collection; -1 where a count failed.
class CollectionStatistics
{
public:
    qint64 count = -1;
    qint64 unseen = -1;
    qint64 size = -1;

    // All three, by one small query each.
    static CollectionStatistics of(const Talvori::Collection &collection);

    // -1 on error.
    static int countItems(const Talvori::Collection &collection);
    static int countItemsWithFlag(const Talvori::Collection &collection, const QString &flagName);
    static int countItemsWithoutFlag(const Talvori::Collection &collection, const QString &flagName);
    static qint64 totalItemSize(const Talvori::Collection &collection);
};

#endif

#ifndef TALVORI_COLLECTIONTREE_H
#define TALVORI_COLLECTIONTREE_H

#include "storage/collectionancestry.h"
#include "storage/collectionstatistics.h"
#include "storage/entities.h"

#include <QHash>
#include <QList>
#include <QStack>

// The collection tree as a listing walks it. Unloaded, every question is one small query, which
// suits listings of one level. After load() the whole tree, its content types, resource names,
// attributes and (optionally) item counts come from a fixed handful of statements and every
// question is answered from memory, so a listing of thousands of collections does not cost
// thousands of queries. Either way the answers, and their order, are the same.
class CollectionTree
{
public:
    // False when a statement failed; the tree then stays unloaded.
    bool load(bool withStatistics);
    bool isLoaded() const { return m_loaded; }

    // Invalid when there is no such collection.
    Talvori::Collection collection(qint64 id) const;
    // Ordered by id; a parent id of 0 gives the top-level collections.
    QList<Talvori::Collection> children(qint64 parentId) const;
    // Ordered by content type id.
    QList<Talvori::MimeType> mimeTypes(qint64 collectionId) const;
    QString resourceName(qint64 resourceId) const;
    // Ordered by attribute id.
    QList<Talvori::CollectionAttribute> attributes(qint64 collectionId) const;
    CollectionStatistics statistics(const Talvori::Collection &collection) const;

    // Fills an inherited cache policy from the nearest ancestor with a policy of its own.
    void applyActiveCachePolicy(Talvori::Collection &collection) const;
    // Up to depth ancestors, with the parent on top.
    QStack<Talvori::Collection> ancestors(const Talvori::Collection &collection, int depth) const;

private:
    bool loadStatistics();
    // The tree's own answers when loaded, the database's otherwise.
    CollectionAncestry::Lookup lookup() const;

    bool m_loaded = false;
    bool m_statisticsLoaded = false;
    QHash<qint64, Talvori::Collection> m_collections;
    QHash<qint64, QList<qint64>> m_children;
    QHash<qint64, QList<Talvori::MimeType>> m_mimeTypes;
    QHash<qint64, QString> m_resourceNames;
    QHash<qint64, QList<Talvori::CollectionAttribute>> m_attributes;
    QHash<qint64, qint64> m_itemCounts;
    QHash<qint64, qint64> m_seenCounts;
    QHash<qint64, qint64> m_sizes;
};

#endif

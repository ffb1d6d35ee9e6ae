#include "storage/collectiontree.h"

#include "storage/selectquerybuilder.h"

#include <algorithm>

using namespace Talvori;

namespace {

template<typename T>
void sortById(QList<T> &records)
{
    std::sort(records.begin(), records.end(), [](const T &a, const T &b) { return a.id() < b.id(); });
}

// Per-collection sums of one grouped statement: column 0 is the collection id, column 1 the value.
bool loadGrouped(QueryBuilder &qb, QHash<qint64, qint64> &result)
{
    if (!qb.exec())
        return false;
    QSqlQuery &query = qb.query();
    while (query.next())
        result.insert(query.value(0).toLongLong(), query.value(1).toLongLong());
    return true;
}

} // namespace

bool CollectionTree::load(bool withStatistics)
{
    m_loaded = false;
    m_collections.clear();
    m_children.clear();
    m_mimeTypes.clear();
    m_resourceNames.clear();
    m_attributes.clear();

    SelectQueryBuilder<Collection> collections;
    collections.addSortColumn(Collection::idFullColumnName());
    if (!collections.exec())
        return false;
    const QList<Collection> all = collections.result();
    m_collections.reserve(all.size());
    for (const Collection &collection : all) {
        m_collections.insert(collection.id(), collection);
        m_children[collection.parentId()].append(collection.id());
    }

    QueryBuilder mimeTypes(CollectionMimeTypeRelation::tableName());
    mimeTypes.addColumns({CollectionMimeTypeRelation::leftFullColumnName(), MimeType::idFullColumnName(),
                          MimeType::nameFullColumnName()});
    mimeTypes.addJoin(QueryBuilder::InnerJoin, MimeType::tableName(), CollectionMimeTypeRelation::rightFullColumnName(),
                      MimeType::idFullColumnName());
    mimeTypes.addSortColumn(CollectionMimeTypeRelation::leftFullColumnName());
    mimeTypes.addSortColumn(MimeType::idFullColumnName());
    if (!mimeTypes.exec())
        return false;
    while (mimeTypes.query().next()) {
        const QSqlQuery &q = mimeTypes.query();
        m_mimeTypes[q.value(0).toLongLong()].append(
            MimeType(q.value(1).toLongLong(), QString::fromUtf8(q.value(2).toByteArray())));
    }

    const QList<Resource> resources = Resource::retrieveAll();
    for (const Resource &resource : resources)
        m_resourceNames.insert(resource.id(), resource.name());

    SelectQueryBuilder<CollectionAttribute> attributes;
    attributes.addSortColumn(CollectionAttribute::idFullColumnName());
    if (!attributes.exec())
        return false;
    const QList<CollectionAttribute> allAttributes = attributes.result();
    for (const CollectionAttribute &attribute : allAttributes)
        m_attributes[attribute.collectionId()].append(attribute);

    if (withStatistics && !loadStatistics())
        return false;
    m_loaded = true;
    return true;
}

bool CollectionTree::loadStatistics()
{
    m_itemCounts.clear();
    m_seenCounts.clear();
    m_sizes.clear();

    QueryBuilder counts(PimItem::tableName());
    counts.addColumns({PimItem::collectionIdFullColumnName(), QStringLiteral("count(*)")});
    counts.addGroupColumn(PimItem::collectionIdFullColumnName());
    if (!loadGrouped(counts, m_itemCounts))
        return false;

    QueryBuilder seen(PimItem::tableName());
    seen.addColumns({PimItem::collectionIdFullColumnName(), QStringLiteral("count(*)")});
    seen.addJoin(QueryBuilder::InnerJoin, PimItemFlagRelation::tableName(), PimItem::idFullColumnName(),
                 PimItemFlagRelation::leftFullColumnName());
    seen.addJoin(QueryBuilder::InnerJoin, Flag::tableName(), Flag::idFullColumnName(),
                 PimItemFlagRelation::rightFullColumnName());
    seen.addValueCondition(Flag::nameFullColumnName(), Query::Equals, QStringLiteral("\\SEEN"));
    seen.addGroupColumn(PimItem::collectionIdFullColumnName());
    if (!loadGrouped(seen, m_seenCounts))
        return false;

    QueryBuilder sizes(PimItem::tableName());
    sizes.addColumns({PimItem::collectionIdFullColumnName(), QStringLiteral("sum(%1)").arg(PimItem::sizeFullColumnName())});
    sizes.addGroupColumn(PimItem::collectionIdFullColumnName());
    if (!loadGrouped(sizes, m_sizes))
        return false;

    m_statisticsLoaded = true;
    return true;
}

Collection CollectionTree::collection(qint64 id) const
{
    if (!m_loaded)
        return Collection::retrieveById(id);
    return m_collections.value(id);
}

QList<Collection> CollectionTree::children(qint64 parentId) const
{
    QList<Collection> result;
    if (!m_loaded) {
        result = Collection::retrieveFiltered(Collection::parentIdColumn(),
                                              parentId > 0 ? QVariant(parentId) : QVariant());
        sortById(result);
        return result;
    }
    const QList<qint64> ids = m_children.value(parentId);
    result.reserve(ids.size());
    for (qint64 id : ids)
        result.append(m_collections.value(id));
    return result;
}

QList<MimeType> CollectionTree::mimeTypes(qint64 collectionId) const
{
    if (!m_loaded) {
        Collection collection;
        collection.setId(collectionId);
        QList<MimeType> result = collection.mimeTypes();
        sortById(result);
        return result;
    }
    return m_mimeTypes.value(collectionId);
}

QString CollectionTree::resourceName(qint64 resourceId) const
{
    if (!m_loaded)
        return Resource::retrieveById(resourceId).name();
    return m_resourceNames.value(resourceId);
}

QList<CollectionAttribute> CollectionTree::attributes(qint64 collectionId) const
{
    if (!m_loaded) {
        QList<CollectionAttribute> result =
            CollectionAttribute::retrieveFiltered(CollectionAttribute::collectionIdColumn(), collectionId);
        sortById(result);
        return result;
    }
    return m_attributes.value(collectionId);
}

CollectionStatistics CollectionTree::statistics(const Collection &collection) const
{
    if (!m_statisticsLoaded)
        return CollectionStatistics::of(collection);
    CollectionStatistics statistics;
    statistics.count = m_itemCounts.value(collection.id());
    statistics.unseen = statistics.count - m_seenCounts.value(collection.id());
    statistics.size = m_sizes.value(collection.id());
    return statistics;
}

CollectionAncestry::Lookup CollectionTree::lookup() const
{
    if (!m_loaded)
        return CollectionAncestry::fromDatabase();
    return CollectionAncestry::fromMap(m_collections);
}

void CollectionTree::applyActiveCachePolicy(Collection &collection) const
{
    CollectionAncestry::applyActiveCachePolicy(collection, lookup());
}

QStack<Collection> CollectionTree::ancestors(const Collection &collection, int depth) const
{
    return CollectionAncestry::upwards(collection.parentId(), depth, lookup());
}

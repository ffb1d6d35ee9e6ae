#include "storage/collectionancestry.h"

using namespace Talvori;

CollectionAncestry::Lookup CollectionAncestry::fromDatabase()
{
    return [](qint64 id) { return Collection::retrieveById(id); };
}

CollectionAncestry::Lookup CollectionAncestry::fromMap(const QHash<qint64, Collection> &collections)
{
    return [&collections](qint64 id) { return collections.value(id); };
}

QHash<qint64, Collection> CollectionAncestry::loadAll()
{
    QHash<qint64, Collection> result;
    const QList<Collection> all = Collection::retrieveAll();
    result.reserve(all.size());
    for (const Collection &collection : all)
        result.insert(collection.id(), collection);
    return result;
}

void CollectionAncestry::applyActiveCachePolicy(Collection &collection, const Lookup &lookup)
{
    if (!collection.cachePolicyInherit())
        return;

    Collection parent = collection;
    while (parent.parentId() != 0) {
        parent = lookup(parent.parentId());
        if (!parent.isValid())
            break;
        if (!parent.cachePolicyInherit()) {
            collection.setCachePolicyCheckInterval(parent.cachePolicyCheckInterval());
            collection.setCachePolicyCacheTimeout(parent.cachePolicyCacheTimeout());
            collection.setCachePolicySyncOnDemand(parent.cachePolicySyncOnDemand());
            collection.setCachePolicyLocalParts(parent.cachePolicyLocalParts());
            return;
        }
    }

    collection.setCachePolicyCheckInterval(-1);
    collection.setCachePolicyCacheTimeout(-1);
    collection.setCachePolicySyncOnDemand(false);
    collection.setCachePolicyLocalParts(QStringLiteral("ALL"));
}

QStack<Collection> CollectionAncestry::upwards(qint64 start, int depth, const Lookup &lookup)
{
    QList<Collection> chain;
    Collection current = start > 0 ? lookup(start) : Collection();
    while (current.isValid() && chain.size() < depth) {
        chain.append(current);
        current = current.parentId() > 0 ? lookup(current.parentId()) : Collection();
    }
    QStack<Collection> stack;
    stack.reserve(chain.size());
    for (auto it = chain.crbegin(); it != chain.crend(); ++it)
        stack.push(*it);
    return stack;
}

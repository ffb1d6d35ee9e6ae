#include "storage/collectionancestry.h"

using namespace Talvori;

CollectionAncestry::Lookup CollectionAncestry::fromDatabase()
{
    return [](qint64 id) { return Collection::retrieveById(id); };
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

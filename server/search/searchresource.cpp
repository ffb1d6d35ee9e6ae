#include "searchresource.h"

using namespace Talvori;

namespace SearchResource {

Resource resource()
{
    return Resource::retrieveByName(QStringLiteral("talvori_search_resource"));
}

namespace {

bool isRoot(const Collection &collection)
{
    return collection.parentId() == 0 && collection.name() == QLatin1String("Search");
}

QList<Collection> collectionsOfResource()
{
    const Resource owner = resource();
    if (!owner.isValid())
        return {};
    return Collection::retrieveFiltered(Collection::resourceIdColumn(), owner.id());
}

} // namespace

Collection root()
{
    const QList<Collection> collections = collectionsOfResource();
    for (const Collection &collection : collections) {
        if (isRoot(collection))
            return collection;
    }
    return Collection();
}

QList<Collection> searches()
{
    QList<Collection> result = collectionsOfResource();
    result.removeIf(isRoot);
    return result;
}

} // namespace SearchResource

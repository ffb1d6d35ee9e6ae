#include "storage/collectioncopier.h"

#include "storage/datastore.h"

using namespace Talvori;

CollectionCopier::CollectionCopier(DataStore *store)
    : m_store(store)
    , m_items(store)
{
}

bool CollectionCopier::copy(const Collection &source, const Collection &target)
{
    const bool sameResource = source.resourceId() == target.resourceId();
    Collection duplicate(sameResource ? source.remoteId() : QString(), sameResource ? source.remoteRevision() : QString(),
                    source.name(), target.id(), target.resourceId(), source.subscribed(), source.cachePolicyInherit(),
                    source.cachePolicyCheckInterval(), source.cachePolicyCacheTimeout(),
                    source.cachePolicySyncOnDemand(), source.cachePolicyLocalParts(), source.queryString(),
                    source.queryLanguage());
    // Read before the copy exists, so that the copy never counts among what is copied.
    const QList<Collection> children = source.children();
    if (!m_store->appendCollection(duplicate))
        return false;

    const QList<MimeType> mimeTypes = source.mimeTypes();
    for (const MimeType &mimeType : mimeTypes) {
        if (!Collection::addMimeType(duplicate.id(), mimeType.id()))
            return false;
    }
    const QList<CollectionAttribute> attributes = source.attributes();
    for (const CollectionAttribute &attribute : attributes) {
        CollectionAttribute copiedAttribute(duplicate.id(), attribute.type(), attribute.value());
        if (!copiedAttribute.insert())
            return false;
    }
    for (const Collection &child : children) {
        if (!copy(child, duplicate))
            return false;
    }
    return m_items.copy(source.items(), duplicate);
}

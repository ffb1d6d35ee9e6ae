#include "collectiontreefiller.h"

#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/transaction.h"

#include <QDateTime>

using namespace Talvori;

CollectionTreeFiller::CollectionTreeFiller(const QString &resourceName, int fanout)
    : m_resourceName(resourceName)
    , m_fanout(fanout)
{
}

bool CollectionTreeFiller::fill(int collections, int items)
{
    DataStore *db = DataStore::self();
    Transaction transaction(db);

    Resource resource = Resource::retrieveByName(m_resourceName);
    if (!resource.isValid()) {
        resource.setName(m_resourceName);
        if (!resource.insert())
            return false;
    }
    MimeType directory = MimeType::retrieveByName(QStringLiteral("inode/directory"));
    MimeType mail = MimeType::retrieveByName(QStringLiteral("message/rfc822"));
    Flag seen = Flag::retrieveByName(QStringLiteral("\\SEEN"));
    if (!seen.isValid()) {
        seen.setName(QStringLiteral("\\SEEN"));
        if (!seen.insert())
            return false;
    }
    if (!directory.isValid() || !mail.isValid())
        return false;

    QList<qint64> ids;
    ids.reserve(collections);
    for (int i = 0; i < collections; ++i) {
        // The first fanout collections are top-level; collection i hangs below collection
        // (i / fanout) - 1 after that, which fills the tree level by level.
        const qint64 parentId = i < m_fanout ? 0 : ids.at(i / m_fanout - 1);
        Collection collection;
        collection.setName(QStringLiteral("c%1").arg(i));
        collection.setRemoteId(QStringLiteral("rid%1").arg(i));
        collection.setResourceId(resource.id());
        collection.setParentId(parentId);
        collection.setCachePolicyInherit(i >= m_fanout);
        collection.setCachePolicyCheckInterval(i < m_fanout ? 30 : -1);
        collection.setCachePolicyCacheTimeout(-1);
        if (!collection.insert())
            return false;
        ids.append(collection.id());
        if (!Collection::addMimeType(collection.id(), directory.id()) || !Collection::addMimeType(collection.id(), mail.id()))
            return false;
        if (i % 3 == 0) {
            CollectionAttribute attribute(collection.id(), "colour", QByteArray::number(i));
            if (!attribute.insert())
                return false;
        }
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < items && !ids.isEmpty(); ++i) {
        PimItem item(0, QStringLiteral("item%1").arg(i), QString(), ids.at(i % ids.size()), mail.id(), now, now,
                     false, 100 + i % 7);
        if (!item.insert())
            return false;
        if (i % 2 == 0 && !Entity::addToRelation<PimItemFlagRelation>(item.id(), seen.id()))
            return false;
    }
    return transaction.commit();
}

#include "collectionsync.h"

#include "services/resourceinterface.h"
#include "storage/entities.h"

#include <QDBusConnection>

void CollectionSync::request(const Talvori::Collection &collection)
{
    const QString resource = collection.resource().name();
    if (resource.isEmpty())
        return;
    // Fire and forget: neither call waits for the resource, which may not even be running.
    OrgFreedesktopTalvoriResourceInterface proxy(QStringLiteral("org.freedesktop.Talvori.Resource.") + resource,
                                                 QStringLiteral("/"), QDBusConnection::sessionBus());
    if (collection.parentId() == 0)
        proxy.synchronizeCollectionTree();
    proxy.synchronizeCollection(collection.id());
}

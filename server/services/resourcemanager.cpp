#include "resourcemanager.h"

#include "common/busobject.h"
#include "common/tracer.h"
#include "resourcemanageradaptor.h"
#include "storage/datastore.h"
#include "storage/entities.h"

#include <QDBusConnection>
#include <QSet>

using namespace Talvori;

ResourceManager *ResourceManager::self()
{
    static ResourceManager *instance = new ResourceManager;
    return instance;
}

ResourceManager::ResourceManager()
{
    new ResourceManagerAdaptor(this);
    BusObject::registerObject(QStringLiteral("/ResourceManager"), this, QDBusConnection::ExportAdaptors);
}

void ResourceManager::addResourceInstance(const QString &name, const QStringList &capabilities)
{
    Resource resource = Resource::retrieveByName(name);
    if (resource.isValid()) {
        Tracer::self()->error(QStringLiteral("ResourceManager"), QStringLiteral("Resource '%1' already exists.").arg(name));
        return;
    }
    resource.setName(name);
    resource.setIsVirtual(capabilities.contains(QStringLiteral("Virtual")));
    if (!resource.insert())
        Tracer::self()->error(QStringLiteral("ResourceManager"), QStringLiteral("Could not create resource '%1'.").arg(name));
}

void ResourceManager::removeResourceInstance(const QString &name)
{
    DataStore *db = DataStore::self();
    Resource resource = Resource::retrieveByName(name);
    if (!resource.isValid())
        return;
    // No transaction around this: each collection goes by itself, and one that cannot be removed
    // does not keep the others. Children go before their parents, so that no step finds a
    // collection that still has children, whatever order the list comes in.
    QList<Collection> remaining = resource.collections();
    while (!remaining.isEmpty()) {
        QSet<qint64> parents;
        for (const Collection &collection : std::as_const(remaining))
            parents.insert(collection.parentId());
        QList<Collection> next;
        for (Collection &collection : remaining) {
            if (parents.contains(collection.id()))
                next.append(collection);
            else
                db->cleanupCollection(collection);
        }
        if (next.size() == remaining.size()) {
            // A cycle in the parent links; remove the rest as they come.
            for (Collection &collection : next)
                db->cleanupCollection(collection);
            break;
        }
        remaining = next;
    }
    resource.remove();
}

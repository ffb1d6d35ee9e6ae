#include "resourcemanager.h"

#include "common/tracer.h"
#include "resourcemanageradaptor.h"
#include "storage/datastore.h"
#include "storage/entities.h"

#include <QDBusConnection>

using namespace Talvori;

ResourceManager *ResourceManager::self()
{
    static ResourceManager *instance = new ResourceManager;
    return instance;
}

ResourceManager::ResourceManager()
{
    new ResourceManagerAdaptor(this);
    QDBusConnection::sessionBus().registerObject(QStringLiteral("/ResourceManager"), this,
                                                 QDBusConnection::ExportAdaptors);
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
    // does not keep the others.
    const Collection::List collections = resource.collections();
    for (Collection collection : collections)
        db->cleanupCollection(collection);
    resource.remove();
}

#include "agentsearchengine.h"

#include "common/log.h"
#include "search/agentmanagerinternalinterface.h"
#include "storage/entities.h"

#include <QDBusConnection>

#include <memory>

namespace {

// Made anew for every call, so that a manager that came or went meanwhile is seen as it is now.
std::unique_ptr<OrgFreedesktopTalvoriAgentManagerInternalInterface> agentManager()
{
    auto manager = std::make_unique<OrgFreedesktopTalvoriAgentManagerInternalInterface>(
        QStringLiteral("org.freedesktop.Talvori.Control"), QStringLiteral("/AgentManager"),
        QDBusConnection::sessionBus());
    if (!manager->isValid()) {
        logError().noquote() << "Failed to connect to agent manager: " + manager->lastError().message();
        return nullptr;
    }
    return manager;
}

} // namespace

void AgentSearchEngine::addSearch(const Talvori::Collection &collection)
{
    if (const auto manager = agentManager())
        manager->addSearch(collection.queryString(), collection.queryLanguage(), collection.id());
}

void AgentSearchEngine::removeSearch(qint64 collectionId)
{
    if (const auto manager = agentManager())
        manager->removeSearch(collectionId);
}

#include "toolsplugininterface.h"

#include "pluginmanager.h"

namespace Grix {

ToolsPluginInterface::ToolsPluginInterface(const DaxComponentData &component, QObject *parent)
    : QObject(parent)
    , DaxGuiClient(component)
{
}

ToolsPluginInterface::~ToolsPluginInterface() = default;

QString ToolsPluginInterface::pluginId() const
{
    return QString::fromLatin1(metaObject()->className());
}

DaxPluginInfo ToolsPluginInterface::pluginInfo()
{
    return PluginManager::New()->pluginInfo(this);
}

QString ToolsPluginInterface::displayName()
{
    const DaxPluginInfo info = pluginInfo();
    return info.isValid() ? info.name() : QString();
}

QString ToolsPluginInterface::pluginIcon()
{
    const DaxPluginInfo info = pluginInfo();
    return info.isValid() ? info.icon() : QString();
}

}

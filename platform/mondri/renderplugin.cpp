#include "renderplugin.h"

#include "datafacade.h"

namespace Mondri {

RenderPlugin::RenderPlugin(QObject *parent)
    : QObject(parent)
{
}

RenderPlugin::~RenderPlugin() = default;

} // namespace Mondri

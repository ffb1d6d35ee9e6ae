#include "graphmlpluginfactory.h"

#include "graphmlfileplugin.h"

#include <daxi18n.h>

GraphMLPluginFactory::GraphMLPluginFactory()
    : DaxPluginFactory(aboutData())
{
    registerPlugin<GraphMLFilePlugin>();
}

DaxAboutData GraphMLPluginFactory::aboutData()
{
    return DaxAboutData(QStringLiteral("grix_graphml"), QStringLiteral("0.1"), i18n("Open and Save GraphML files"));
}

DAX_EXPORT_PLUGIN_VERSION()

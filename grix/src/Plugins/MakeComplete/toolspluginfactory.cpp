#include "toolspluginfactory.h"

#include "makecompletetoolplugin.h"

#include <daxi18n.h>

ToolsPluginFactory::ToolsPluginFactory()
    : DaxPluginFactory(aboutData())
{
    registerPlugin<MakeCompleteToolPlugin>();
}

DaxAboutData ToolsPluginFactory::aboutData()
{
    return DaxAboutData(QStringLiteral("grix_makecompleteplugin"), QStringLiteral("0.1"), i18n("Make Complete"));
}

DAX_EXPORT_PLUGIN_VERSION()

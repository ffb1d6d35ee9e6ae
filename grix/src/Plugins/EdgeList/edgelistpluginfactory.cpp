#include "edgelistpluginfactory.h"

#include "edgelistfileplugin.h"

#include <daxi18n.h>

EdgeListPluginFactory::EdgeListPluginFactory()
    : DaxPluginFactory(aboutData())
{
    registerPlugin<EdgeListFilePlugin>();
}

DaxAboutData EdgeListPluginFactory::aboutData()
{
    return DaxAboutData(QStringLiteral("grix_edgelist"), QStringLiteral("0.1"), i18n("Open and Save edge lists"));
}

DAX_EXPORT_PLUGIN_VERSION()

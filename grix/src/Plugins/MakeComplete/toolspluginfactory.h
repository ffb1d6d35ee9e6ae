#ifndef TOOLSPLUGINFACTORY_H
#define TOOLSPLUGINFACTORY_H

#include <daxaboutdata.h>
#include <daxpluginfactory.h>

// The root object of grix_makecompleteplugin: makes MakeCompleteToolPlugin for the plug-in manager.
class ToolsPluginFactory : public DaxPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DaxPluginFactory_iid FILE "grix_makecompleteplugin.json")
    Q_INTERFACES(DaxPluginFactory)
public:
    ToolsPluginFactory();

    static DaxAboutData aboutData();
    static DaxComponentData componentData() { return DaxComponentData(aboutData()); }
};

#endif

#ifndef EDGELISTPLUGINFACTORY_H
#define EDGELISTPLUGINFACTORY_H

#include <daxaboutdata.h>
#include <daxpluginfactory.h>

// The root object of grix_edgelist: makes EdgeListFilePlugin for the plug-in manager.
class EdgeListPluginFactory : public DaxPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DaxPluginFactory_iid FILE "grix_edgelist.json")
    Q_INTERFACES(DaxPluginFactory)
public:
    EdgeListPluginFactory();

    static DaxAboutData aboutData();
    static DaxComponentData componentData() { return DaxComponentData(aboutData()); }
};

#endif

#ifndef GRAPHMLPLUGINFACTORY_H
#define GRAPHMLPLUGINFACTORY_H

#include <daxaboutdata.h>
#include <daxpluginfactory.h>

// The root object of grix_graphml: makes GraphMLFilePlugin for the plug-in manager.
class GraphMLPluginFactory : public DaxPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DaxPluginFactory_iid FILE "grix_graphml.json")
    Q_INTERFACES(DaxPluginFactory)
public:
    GraphMLPluginFactory();

    static DaxAboutData aboutData();
    static DaxComponentData componentData() { return DaxComponentData(aboutData()); }
};

#endif

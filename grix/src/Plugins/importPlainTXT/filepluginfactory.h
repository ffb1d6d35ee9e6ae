#ifndef FILEPLUGINFACTORY_H
#define FILEPLUGINFACTORY_H

#include <daxaboutdata.h>
#include <daxpluginfactory.h>

// The root object of grix_plaintxt: makes PlainTXTFilePlugin for the plug-in manager. The
// capital L in its name is intended and kept on purpose for callers that name the class.
class FilePLuginFactory : public DaxPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DaxPluginFactory_iid FILE "grix_plaintxt.json")
    Q_INTERFACES(DaxPluginFactory)
public:
    FilePLuginFactory();

    static DaxAboutData aboutData();
    static DaxComponentData componentData() { return DaxComponentData(aboutData()); }
};

#endif

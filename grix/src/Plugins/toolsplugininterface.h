#ifndef GRIX_TOOLSPLUGININTERFACE_H
#define GRIX_TOOLSPLUGININTERFACE_H

#include <daxguiclient.h>
#include <daxplugininfo.h>

#include <QObject>
#include <QString>

class GraphDocument;

namespace Grix {

// Base of tool plug-ins: run() returns a script that the script backend evaluates against the
// document. What users see of a tool (name, icon) comes from its registry entry.
class ToolsPluginInterface : public QObject, public DaxGuiClient
{
    Q_OBJECT
public:
    ToolsPluginInterface(const DaxComponentData &component, QObject *parent);
    ~ToolsPluginInterface() override;

    virtual QString run(GraphDocument *document) = 0;

    QString pluginId() const;
    DaxPluginInfo pluginInfo();
    // Empty for a plug-in the manager did not make.
    QString displayName();
    QString pluginIcon();
};

}

#endif

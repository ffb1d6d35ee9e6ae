#ifndef MAKECOMPLETETOOLPLUGIN_H
#define MAKECOMPLETETOOLPLUGIN_H

#include <toolsplugininterface.h>

#include <QVariantList>

// Makes every graph of a document complete, as a script: all edges go, then each pair of nodes
// i < j in node order gets the edge i -> j. Loops are not restored.
class MakeCompleteToolPlugin : public Grix::ToolsPluginInterface
{
    Q_OBJECT
public:
    MakeCompleteToolPlugin(QObject *parent, const QVariantList &args);
    ~MakeCompleteToolPlugin() override;

    QString run(GraphDocument *document) override;
};

#endif

#include "makecompletetoolplugin.h"

#include "toolspluginfactory.h"

MakeCompleteToolPlugin::MakeCompleteToolPlugin(QObject *parent, const QVariantList &args)
    : Grix::ToolsPluginInterface(ToolsPluginFactory::componentData(), parent)
{
    Q_UNUSED(args)
}

MakeCompleteToolPlugin::~MakeCompleteToolPlugin() = default;

QString MakeCompleteToolPlugin::run(GraphDocument *document)
{
    Q_UNUSED(document)
    return QStringLiteral(
        "function makeComplete(graph){  nodes = graph.list_nodes();  edges = graph.list_edges();  for (var e = 0; e < "
        "edges.length; e++){      graph.remove(edges[e]);  }  for (var i = 0; i < nodes.length; i++){      for (var j = "
        "i+1; j < nodes.length; j++){          graph.add_edge(nodes[i], nodes[j]);      }  }}for (var k = 0; k < "
        "graphs.length; k++){   makeComplete(graphs[k]);}");
}

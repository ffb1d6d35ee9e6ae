#include "edgelistfileplugin.h"

#include "edgelistpluginfactory.h"
#include "edgelistreader.h"
#include "edgelistwriter.h"

#include <graph.h>
#include <graphdocument.h>

#include <daxi18n.h>

#include <QFileInfo>

namespace {

EdgeListReader::Format formatOf(const QString &fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("adjlist"), Qt::CaseInsensitive) == 0 ? EdgeListReader::Adjacency
                                                                                                   : EdgeListReader::Edges;
}

} // namespace

EdgeListFilePlugin::EdgeListFilePlugin(QObject *parent, const QVariantList &args)
    : Grix::FilePluginInterface(EdgeListPluginFactory::componentData(), parent)
{
    Q_UNUSED(args)
}

EdgeListFilePlugin::~EdgeListFilePlugin() = default;

QStringList EdgeListFilePlugin::extensions() const
{
    return {i18n("*.edgelist|Edge lists (u v, a weight or a data dictionary)"), i18n("*.adjlist|Adjacency lists (u v1 v2 ...)")};
}

GraphDocument *EdgeListFilePlugin::readFile(const QString &fileName)
{
    return readDocument(fileName, [this, &fileName](QIODevice &device, GraphDocument &document, QString &) {
        EdgeListReader(document.addGraph(QStringLiteral("untitled")), formatOf(fileName), &readWarnings()).read(&device);
        return true;
    });
}

bool EdgeListFilePlugin::writeFile(GraphDocument &document, const QString &fileName)
{
    // Checked before the file is touched, so a failed export never empties an existing file.
    Graph *graph = document.activeGraph();
    if (!graph) {
        setLastError(i18n("No active graph in this document."));
        return false;
    }
    return writeDocument(fileName, [graph, &fileName](QIODevice &device, QString &error) {
        EdgeListWriter writer(*graph, formatOf(fileName));
        if (writer.write(&device))
            return true;
        error = writer.error();
        return false;
    });
}

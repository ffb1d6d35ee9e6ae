#include "graphmlfileplugin.h"

#include "graphmlpluginfactory.h"
#include "graphmlreader.h"
#include "graphmlwriter.h"

#include <graphdocument.h>

#include <daxi18n.h>

GraphMLFilePlugin::GraphMLFilePlugin(QObject *parent, const QVariantList &args)
    : Grix::FilePluginInterface(GraphMLPluginFactory::componentData(), parent)
{
    Q_UNUSED(args)
}

GraphMLFilePlugin::~GraphMLFilePlugin() = default;

QStringList GraphMLFilePlugin::extensions() const
{
    return {i18n("*.graphml|GraphML Files")};
}

GraphDocument *GraphMLFilePlugin::readFile(const QString &fileName)
{
    return readDocument(fileName, [this](QIODevice &device, GraphDocument &document, QString &error) {
        GraphMLReader reader(&document, &readWarnings());
        if (reader.read(&device))
            return true;
        error = reader.error();
        return false;
    });
}

bool GraphMLFilePlugin::writeFile(GraphDocument &document, const QString &fileName)
{
    return writeDocument(fileName, [&document](QIODevice &device, QString &error) {
        if (GraphMLWriter(document).write(&device))
            return true;
        error = i18n("Cannot write the GraphML text.");
        return false;
    });
}

#ifndef EDGELISTFILEPLUGIN_H
#define EDGELISTFILEPLUGIN_H

#include <fileplugininterface.h>

#include <QVariantList>

// Edge lists (".edgelist": "u v [weight | {data}]") and adjacency lists (".adjlist":
// "u v1 v2 ..."), the plain formats other graph tools write; see EdgeListReader. Reading makes
// one undirected graph; writing writes the active graph.
class EdgeListFilePlugin : public Grix::FilePluginInterface
{
    Q_OBJECT
public:
    EdgeListFilePlugin(QObject *parent, const QVariantList &args);
    ~EdgeListFilePlugin() override;

    QStringList extensions() const override;
    GraphDocument *readFile(const QString &fileName) override;
    bool writeFile(GraphDocument &document, const QString &fileName) override;
};

#endif

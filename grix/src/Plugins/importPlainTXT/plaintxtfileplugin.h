#ifndef PLAINTXTFILEPLUGIN_H
#define PLAINTXTFILEPLUGIN_H

#include <fileplugininterface.h>

#include <QVariantList>

// Reads and writes a graph as plain text, one record per line, words separated by spaces:
// "N" is a node named N, "A B" an edge from A to B, "N X Y" a node N at (X, Y); other lines are
// ignored. Edges are added after all nodes, under the graph's rules (an undirected graph, so no
// loops and no second edge between two nodes). Node names with spaces do not read back.
class PlainTXTFilePlugin : public Grix::FilePluginInterface
{
    Q_OBJECT
public:
    PlainTXTFilePlugin(QObject *parent, const QVariantList &args);
    ~PlainTXTFilePlugin() override;

    QStringList extensions() const override;
    GraphDocument *readFile(const QString &fileName) override;
    // Writes the active graph: node lines "name x y", then edge lines "from to".
    bool writeFile(GraphDocument &document, const QString &fileName) override;
    QString lastError() override;

private:
    QString m_lastError;
};

#endif

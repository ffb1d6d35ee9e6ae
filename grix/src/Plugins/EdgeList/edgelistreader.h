#ifndef EDGELISTREADER_H
#define EDGELISTREADER_H

#include <readwarnings.h>

#include <QHash>
#include <QString>

class Graph;
class Node;
class QIODevice;

// Reads the plain edge formats other tools write into one undirected graph. Text from "#" on is
// a comment; names are runs of anything but blanks; a node is made where its name first appears.
// - Edges: "u v" per line, optionally followed by a weight ("u v 2.5", kept as the user property
//   weight) or a data dictionary ("u v {'weight': 3, 'color': 'red'}", one property per key);
//   a name alone on a line is a node without edges.
// - Adjacency: "u v1 v2 ..." per line, an edge from u to each vi.
// Lines that fit neither and edges the graph refuses are counted in the warnings.
class EdgeListReader
{
public:
    enum Format { Edges, Adjacency };

    EdgeListReader(Graph *graph, Format format, Grix::ReadWarnings *warnings);
    void read(QIODevice *device);

private:
    void readEdgeLine(QStringView line, qint64 number);
    void readAdjacencyLine(QStringView line, qint64 number);
    Node *node(QStringView name);
    bool addEdge(Node *from, Node *to, qint64 number, const QList<QPair<QString, QVariant>> &values = {});

    Graph *m_graph;
    Format m_format;
    Grix::ReadWarnings *m_warnings;
    QHash<QString, Node *> m_nodes;
};

#endif

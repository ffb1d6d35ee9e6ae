#ifndef EDGELISTWRITER_H
#define EDGELISTWRITER_H

#include "edgelistreader.h"

#include <QString>

class Graph;
class QIODevice;

// Writes a graph in the formats EdgeListReader reads, as other tools write them:
// - Edges: "u v" per edge, followed by its user properties as a data dictionary when it has any,
//   then each node without edges alone on its line;
// - Adjacency: per node "u" and the neighbours not written on an earlier line (in a directed
//   graph: all successors).
// Names must be non-empty and free of blanks and "#"; otherwise nothing is written.
class EdgeListWriter
{
public:
    EdgeListWriter(const Graph &graph, EdgeListReader::Format format);

    bool write(QIODevice *device);
    QString error() const { return m_error; }

private:
    bool namesFit();

    const Graph &m_graph;
    EdgeListReader::Format m_format;
    QString m_error;
};

#endif

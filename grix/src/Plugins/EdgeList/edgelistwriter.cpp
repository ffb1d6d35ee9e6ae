#include "edgelistwriter.h"

#include "pythonliteral.h"

#include <edge.h>
#include <graph.h>
#include <node.h>

#include <daxi18n.h>

#include <QIODevice>
#include <QSet>
#include <QTextStream>

EdgeListWriter::EdgeListWriter(const Graph &graph, EdgeListReader::Format format)
    : m_graph(graph)
    , m_format(format)
{
}

bool EdgeListWriter::namesFit()
{
    const NodeList nodes = m_graph.nodes();
    for (const Node *n : nodes) {
        const QString &name = n->name();
        const bool bad = name.isEmpty() || name.contains(u'#') || std::any_of(name.begin(), name.end(), [](QChar c) {
            return c.isSpace();
        });
        if (bad) {
            m_error = i18n("The node name \"%1\" cannot be written to an edge list: names there must not be empty "
                           "or hold blanks or \"#\".", name);
            return false;
        }
    }
    return true;
}

bool EdgeListWriter::write(QIODevice *device)
{
    if (!namesFit())
        return false;
    QTextStream out(device);
    out.setEncoding(QStringConverter::Utf8);
    const NodeList nodes = m_graph.nodes();
    if (m_format == EdgeListReader::Adjacency) {
        QSet<const Node *> written;
        written.reserve(nodes.size());
        for (const Node *n : nodes) {
            out << n->name();
            for (const Node *m : n->adjacent_nodes()) {
                if (m_graph.directed() || !written.contains(m))
                    out << ' ' << m->name();
            }
            out << '\n';
            written.insert(n);
        }
    } else {
        const QSet<const Node *> present(nodes.cbegin(), nodes.cend());
        QSet<const Node *> linked;
        const EdgeList edges = m_graph.edges();
        for (const Edge *e : edges) {
            // Edges of a node removed but not yet deleted go with it.
            if (!present.contains(e->from()) || !present.contains(e->to()))
                continue;
            linked.insert(e->from());
            linked.insert(e->to());
            out << e->from()->name() << ' ' << e->to()->name();
            PythonLiteral::Dict data;
            for (const QByteArray &name : e->userPropertyNames())
                data.append({QString::fromUtf8(name), e->property(name)});
            if (!data.isEmpty())
                out << ' ' << PythonLiteral::formatDict(data);
            out << '\n';
        }
        for (const Node *n : nodes) {
            if (!linked.contains(n))
                out << n->name() << '\n';
        }
    }
    out.flush();
    if (out.status() != QTextStream::Ok) {
        m_error = i18n("Cannot write the edge list.");
        return false;
    }
    return true;
}

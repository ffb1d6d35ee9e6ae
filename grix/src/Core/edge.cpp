#include "edge.h"

#include "graph.h"
#include "node.h"

Edge::Edge(Graph *graph, Node *from, Node *to)
    : Edge(graph, from, to, to->edgeCount(from))
{
}

Edge::Edge(Graph *graph, Node *from, Node *to, qsizetype edgesBefore)
    : GraphElement(EdgeKind, graph)
    , m_graph(graph)
    , m_from(from)
    , m_to(to)
    , m_color(graph->edgeDefaultColor())
{
    // The nodes and the graph announce their changes to the edge themselves (Node::emitChanged,
    // Graph::setDirected), which keeps an edge free of signal connections of its own.
    if (from == to) {
        from->addSelfEdge(this);
    } else {
        from->addOutEdge(this);
        to->addInEdge(this);
    }
    m_relativeIndex = int(edgesBefore) + 1;
}

Edge::~Edge()
{
    if (m_graph && m_from) {
        if (m_from == m_to) {
            m_from->removeEdge(this, Node::SelfEdges);
        } else {
            m_from->removeEdge(this, Node::OutEdges);
            m_to->removeEdge(this, Node::InEdges);
        }
    }
    m_from = nullptr;
    m_to = nullptr;
    leaveRegistry();
    Q_EMIT removed();
}

GraphElement *Edge::propertyScope() const
{
    return m_graph;
}

qsizetype Edge::scopeSize() const
{
    return m_graph ? m_graph->edges().size() : 0;
}

void Edge::emitChangedSignal()
{
    Q_EMIT changed();
    // The graph changes with each of its edges; told directly, since a connection per edge costs
    // more memory than the edge itself.
    if (m_graph)
        Q_EMIT m_graph->changed();
}

void Edge::remove()
{
    if (m_graph)
        m_graph->remove(this);
}

Edge::Texts &Edge::texts()
{
    if (!m_texts)
        m_texts = std::make_unique<Texts>();
    return *m_texts;
}

const QString &Edge::value() const
{
    static const QString none;
    return m_texts ? m_texts->value : none;
}

const QString &Edge::name() const
{
    static const QString none;
    return m_texts ? m_texts->name : none;
}

void Edge::setValue(const QString &value)
{
    texts().value = value;
    emitChangedSignal();
}

void Edge::setName(const QString &name)
{
    texts().name = name;
    emitChangedSignal();
}

void Edge::setColor(const QString &color)
{
    m_color = color;
    emitChangedSignal();
}

void Edge::setWidth(double width)
{
    m_width = width;
    emitChangedSignal();
}

void Edge::setStyle(const QString &style)
{
    m_style = style;
    emitChangedSignal();
}

void Edge::hideName(bool shown)
{
    m_showName = shown;
    emitChangedSignal();
}

void Edge::hideValue(bool shown)
{
    m_showValue = shown;
    emitChangedSignal();
}

QJSValue Edge::start()
{
    return m_from ? m_from->wrapperIn(engine()) : QJSValue();
}

QJSValue Edge::end()
{
    return m_to ? m_to->wrapperIn(engine()) : QJSValue();
}

void Edge::self_remove()
{
    remove();
}

#include "node.h"

#include "edge.h"
#include "graph.h"
#include "scriptarray.h"

#include <daxstandarddirs.h>

#include <QJSEngine>

namespace {
// Every node starts with the same icon file; looking it up once keeps building large graphs
// free of file-system probes.
const QString &defaultIconPackage()
{
    static const QString path = DaxStandardDirs::locate(QStringLiteral("appdata"), QStringLiteral("iconpacks/default.svg"));
    return path;
}
}

Node::Node(Graph *graph)
    : GraphElement(NodeKind, graph)
    , m_graph(graph)
    , m_color(graph->nodeDefaultColor())
    , m_iconPackage(defaultIconPackage())
{
}

Node::~Node()
{
    Q_EMIT removed();
    if (!m_graph)
        return;
    // Copies: each removal takes the edge out of these lists.
    for (const EdgeList &list : {m_inEdges, m_outEdges, m_selfEdges}) {
        for (Edge *e : list)
            e->remove();
    }
    leaveRegistry();
}

GraphElement *Node::propertyScope() const
{
    return m_graph;
}

qsizetype Node::scopeSize() const
{
    return m_graph ? m_graph->nodes().size() : 0;
}

void Node::notifyChange()
{
    if (!m_changing)
        emitChanged();
}

void Node::emitChanged()
{
    Q_EMIT changed();
    // The graph changes with its nodes, and an edge with its nodes. Told directly rather than
    // through a connection per object: on graphs of a million edges those cost hundreds of megabytes.
    if (m_graph)
        Q_EMIT m_graph->changed();
    for (const EdgeList *list : {&m_outEdges, &m_inEdges, &m_selfEdges}) {
        for (Edge *e : *list)
            e->emitChangedSignal();
    }
}

void Node::endChange()
{
    m_changing = false;
    emitChanged();
}

void Node::remove()
{
    if (m_graph)
        m_graph->remove(this);
}

namespace {
// Below this many edges a scan of the lists is as quick as a look-up and costs no memory.
constexpr qsizetype NeighbourIndexThreshold = 32;

// Which of the 128 neighbour bits stands for n: word (0 or 1) and mask.
std::pair<int, quint64> neighbourBit(const Node *n)
{
    const quint64 mixed = quint64(reinterpret_cast<quintptr>(n)) * 0x9E3779B97F4A7C15ULL;
    return {int(mixed >> 63), quint64(1) << ((mixed >> 57) & 63)};
}
}

void Node::addInEdge(Edge *edge)
{
    m_inEdges.append(edge);
    countNeighbour(edge->from(), 1);
}

void Node::addOutEdge(Edge *edge)
{
    m_outEdges.append(edge);
    countNeighbour(edge->to(), 1);
}

void Node::countNeighbour(const Node *n, int delta)
{
    if (delta > 0) {
        const auto [word, mask] = neighbourBit(n);
        m_neighbourBits[word] |= mask;
    }
    if (!m_neighbours) {
        if (m_inEdges.size() + m_outEdges.size() <= NeighbourIndexThreshold)
            return;
        // Built once from the lists, which already hold the edge being added.
        m_neighbours = std::make_unique<QHash<const Node *, int>>();
        for (const Edge *e : std::as_const(m_outEdges))
            ++(*m_neighbours)[e->to()];
        for (const Edge *e : std::as_const(m_inEdges))
            ++(*m_neighbours)[e->from()];
        return;
    }
    auto it = m_neighbours->find(n);
    if (it == m_neighbours->end())
        it = m_neighbours->insert(n, 0);
    *it += delta;
    if (*it <= 0)
        m_neighbours->erase(it);
}

qsizetype Node::scanCount(const Node *n) const
{
    const auto [word, mask] = neighbourBit(n);
    if (!(m_neighbourBits[word] & mask))
        return 0;
    if (m_neighbours)
        return m_neighbours->value(n);
    qsizetype count = 0;
    for (const Edge *e : m_outEdges)
        count += e->to() == n;
    for (const Edge *e : m_inEdges)
        count += e->from() == n;
    return count;
}

qsizetype Node::edgeCount(const Node *n) const
{
    if (n == this)
        return m_selfEdges.size();
    if (!n)
        return 0;
    // The edges between two nodes are in the lists of both: look where it is cheaper.
    const qsizetype mine = m_neighbours ? 0 : m_inEdges.size() + m_outEdges.size();
    const qsizetype theirs = n->m_neighbours ? 0 : n->m_inEdges.size() + n->m_outEdges.size();
    return mine <= theirs ? scanCount(n) : n->scanCount(this);
}

void Node::removeEdge(Edge *edge, int list)
{
    switch (list) {
    case InEdges:
        if (m_inEdges.removeOne(edge))
            countNeighbour(edge->from(), -1);
        break;
    case OutEdges:
        if (m_outEdges.removeOne(edge))
            countNeighbour(edge->to(), -1);
        break;
    case SelfEdges:
        m_selfEdges.removeOne(edge);
        break;
    default:
        break;
    }
}

QJSValue Node::createScriptArray(const EdgeList &list)
{
    return makeScriptArray(engine(), list);
}

void Node::setX(int x)
{
    m_x = x;
    notifyChange();
}

void Node::setY(int y)
{
    m_y = y;
    notifyChange();
}

void Node::setWidth(double width)
{
    m_width = width;
    notifyChange();
}

void Node::setPos(qreal x, qreal y)
{
    m_x = x;
    m_y = y;
    notifyChange();
}

void Node::setColor(const QString &color)
{
    m_color = color;
    notifyChange();
}

void Node::setName(const QString &name)
{
    m_name = name;
    notifyChange();
}

void Node::setBegin(bool begin)
{
    if (begin) {
        if (m_graph->begin() == this)
            return;
        if (m_graph->setBegin(this))
            m_begin = true;
    } else {
        m_begin = false;
        if (m_graph->begin() == this)
            m_graph->setBegin(nullptr);
    }
    notifyChange();
}

void Node::setEnd(bool end)
{
    m_end = end;
    if (end)
        m_graph->addEnd(this);
    else
        m_graph->removeEnd(this);
    notifyChange();
}

void Node::setValue(const QVariant &value)
{
    m_value = value;
    notifyChange();
}

void Node::setValue(const QString &value)
{
    m_value = QVariant(value);
    notifyChange();
}

void Node::setIcon(const QString &icon)
{
    m_icon = icon;
    emitChanged();
}

void Node::hideName(bool shown)
{
    m_showName = shown;
    emitChanged();
}

void Node::hideValue(bool shown)
{
    m_showValue = shown;
    emitChanged();
}

NodeList Node::adjacent_nodes() const
{
    NodeList nodes;
    nodes.reserve(m_outEdges.size() + (m_graph->directed() ? m_selfEdges.size() : m_inEdges.size()));
    for (Edge *e : m_outEdges)
        nodes.append(e->to());
    if (m_graph->directed()) {
        for (qsizetype i = 0; i < m_selfEdges.size(); ++i)
            nodes.append(const_cast<Node *>(this));
    } else {
        for (Edge *e : m_inEdges)
            nodes.append(e->from());
    }
    return nodes;
}

EdgeList Node::adjacent_edges() const
{
    EdgeList edges = m_outEdges;
    edges += m_graph->directed() ? m_selfEdges : m_inEdges;
    return edges;
}

EdgeList Node::edges(Node *n) const
{
    if (n == this)
        return m_selfEdges;
    EdgeList edges;
    for (Edge *e : m_outEdges) {
        if (e->to() == n)
            edges.append(e);
    }
    for (Edge *e : m_inEdges) {
        if (e->from() == n)
            edges.append(e);
    }
    return edges;
}

QJSValue Node::adj_nodes()
{
    return makeScriptArray(engine(), adjacent_nodes());
}

QJSValue Node::adj_edges()
{
    return createScriptArray(adjacent_edges());
}

QJSValue Node::input_edges()
{
    return createScriptArray(m_inEdges);
}

QJSValue Node::output_edges()
{
    return createScriptArray(m_outEdges);
}

QJSValue Node::loop_edges()
{
    return createScriptArray(m_selfEdges);
}

QJSValue Node::connected_edges(Node *n)
{
    return createScriptArray(edges(n));
}

void Node::self_remove()
{
    remove();
}

Edge *Node::addEdge(Node *to)
{
    return m_graph->addEdge(this, to);
}

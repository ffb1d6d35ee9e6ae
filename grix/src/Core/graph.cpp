#include "graph.h"

#include "dynamicpropertieslist.h"
#include "edge.h"
#include "graphdocument.h"
#include "graphgroup.h"
#include "node.h"
#include "scriptarray.h"

#include <daxi18n.h>

#include <QJSEngine>

Graph::Graph(GraphDocument *document)
    : GraphElement(GraphKind, document)
    , m_document(document)
{
    calcRelativeCenter();
}

Graph::~Graph()
{
    DynamicPropertiesList::New()->clear(this);
    // Nodes and edges (including removed ones awaiting deletion) are deleted with the graph as
    // its QObject children, which Qt does in linear time; deleting them one by one would search
    // the children list for each. Orphaned first, they skip all bookkeeping with the graph and
    // with each other, since any of them may go before the others.
    const QObjectList children = this->children();
    for (QObject *child : children) {
        if (auto *n = qobject_cast<Node *>(child))
            n->orphan();
        else if (auto *e = qobject_cast<Edge *>(child))
            e->orphan();
    }
    m_edges.clear();
    m_nodes.clear();
    m_nodeSet.clear();
    m_begin = nullptr;
    m_ends.clear();
}

void Graph::calcRelativeCenter()
{
    if (auto *document = qobject_cast<GraphDocument *>(parent()))
        m_relativeCenter = QPointF(document->width() / 2, document->height() / 2);
    else
        m_relativeCenter = QPointF(0, 0);
}

void Graph::setEngine(QJSEngine *engine)
{
    GraphElement::setEngine(engine);
    if (!engine)
        return;
    if (!m_name.isEmpty())
        engine->globalObject().setProperty(m_name, scriptValue());
    // Nodes and edges are wrapped when a script first reaches them (GraphElement::wrapperIn):
    // wrapping a million of them up front cost seconds and a gigabyte before the first line ran.
}

void Graph::setDirected(bool directed)
{
    // Whatever the new kind, the graph leaves with no loops and at most one edge between two
    // nodes: the first one found, out-edges before in-edges.
    for (Node *n : std::as_const(m_nodes)) {
        const NodeList adjacent = n->adjacent_nodes();
        for (Node *m : adjacent) {
            const EdgeList between = n->edges(m);
            if (between.size() == 1 && m != n)
                continue;
            for (int i = (m != n ? 1 : 0); i < between.size(); ++i)
                remove(between.at(i));
        }
    }
    for (Edge *e : std::as_const(m_edges))
        e->emitChangedSignal();
    m_directed = directed;
    Q_EMIT complexityChanged(directed);
    // Every edge changes with the kind of its graph.
    for (Edge *e : std::as_const(m_edges))
        e->emitChangedSignal();
}

bool Graph::setBegin(Node *node)
{
    if (!node) {
        m_begin = nullptr;
        return false;
    }
    if (node == m_begin)
        return false;
    if (m_begin)
        m_begin->setBegin(false);
    m_begin = node;
    return true;
}

Node *Graph::addEnd(Node *node)
{
    m_ends.append(node);
    return node;
}

void Graph::removeEnd(Node *node)
{
    m_ends.removeAll(node);
}

Node *Graph::addNode(const QString &name)
{
    if (m_readOnly)
        return nullptr;
    auto *node = new Node(this);
    node->setName(name);
    m_nodes.append(node);
    m_nodeSet.insert(node);
    Q_EMIT nodeCreated(node);
    return node;
}

Node *Graph::addNode(const QString &name, QPointF point)
{
    Node *node = addNode(name);
    if (node)
        node->setPos(point.x(), point.y());
    return node;
}

Edge *Graph::addEdge(Node *from, Node *to)
{
    if (m_readOnly || !from || !to)
        return nullptr;
    if (from == to && !m_directed)
        return nullptr;
    if (!contains(from) || !contains(to))
        return nullptr;
    // Counted once: the undirected rule and the new edge's relative index both need it.
    const qsizetype between = from->edgeCount(to);
    if (!m_directed && between != 0)
        return nullptr;
    auto *edge = new Edge(this, from, to, between);
    m_edges.append(edge);
    Q_EMIT edgeCreated(edge);
    return edge;
}

Edge *Graph::addEdge(const QString &name_from, const QString &name_to)
{
    if (m_readOnly)
        return nullptr;
    Node *from = nullptr;
    Node *to = nullptr;
    for (Node *n : std::as_const(m_nodes)) {
        if (n->name() == name_from)
            from = n;
        if (n->name() == name_to)
            to = n;
        if (from && to)
            break;
    }
    return addEdge(from, to);
}

Edge *Graph::addEdge(const QJSValue &from, const QJSValue &to)
{
    if (from.isQObject() || to.isQObject())
        return addEdge(qobject_cast<Node *>(from.toQObject()), qobject_cast<Node *>(to.toQObject()));
    if (from.isString() && to.isString())
        return addEdge(from.toString(), to.toString());
    return nullptr;
}

Node *Graph::node(const QString &name) const
{
    for (Node *n : m_nodes) {
        if (n->name() == name)
            return n;
    }
    return nullptr;
}

Node *Graph::node() const
{
    return node(i18n("Untitled"));
}

void Graph::remove(Node *node)
{
    // A node of another graph, or one already removed, is not this graph's to delete.
    if (!node || !m_nodeSet.remove(node))
        return;
    m_nodes.removeOne(node);
    // The node is deleted later; the graph must not keep pointing at it as begin or end.
    if (m_begin == node)
        m_begin = nullptr;
    m_ends.removeAll(node);
    node->deleteLater();
}

void Graph::remove(Edge *edge)
{
    if (!edge || !m_edges.removeOne(edge))
        return;
    delete edge;
}

void Graph::remove(const QJSValue &item)
{
    QObject *object = item.toQObject();
    if (auto *n = qobject_cast<Node *>(object))
        remove(n);
    else if (auto *e = qobject_cast<Edge *>(object))
        remove(e);
    else if (object == this)
        remove();
}

void Graph::remove()
{
    if (m_document)
        m_document->takeGraph(this);
    // Deferred: a script may be inside one of this graph's slots right now.
    deleteLater();
}

GraphGroup *Graph::addGroup(const QString &name)
{
    auto *group = new GraphGroup;
    group->setName(name);
    return group;
}

void Graph::setNodesColor(const QString &color)
{
    for (Node *n : std::as_const(m_nodes))
        n->setColor(color);
}

void Graph::setEdgesColor(const QString &color)
{
    for (Edge *e : std::as_const(m_edges))
        e->setColor(color);
}

void Graph::setAutomate(bool automate)
{
    m_automate = automate;
    Q_EMIT automateChanged(automate);
}

void Graph::setNodeNameVisibility(bool visible)
{
    m_nodeNameVisibility = visible;
    for (Node *n : std::as_const(m_nodes))
        n->hideName(visible);
}

void Graph::setEdgeNameVisibility(bool visible)
{
    m_edgeNameVisibility = visible;
    for (Edge *e : std::as_const(m_edges))
        e->hideName(visible);
}

void Graph::setNodeValueVisibility(bool visible)
{
    m_nodeValueVisibility = visible;
    for (Node *n : std::as_const(m_nodes))
        n->hideValue(visible);
}

void Graph::setEdgeValueVisibility(bool visible)
{
    m_edgeValueVisibility = visible;
    for (Edge *e : std::as_const(m_edges))
        e->hideValue(visible);
}

void Graph::addNodesDynamicProperty(const QString &property, const QVariant &value)
{
    for (Node *n : std::as_const(m_nodes))
        n->addDynamicProperty(property, value);
}

void Graph::addEdgesDynamicProperty(const QString &property, const QVariant &value)
{
    for (Edge *e : std::as_const(m_edges))
        e->addDynamicProperty(property, value);
}

void Graph::removeNodesDynamicProperty(const QString &property)
{
    for (Node *n : std::as_const(m_nodes))
        n->removeDynamicProperty(property);
}

void Graph::removeEdgesDynamicProperty(const QString &property)
{
    for (Edge *e : std::as_const(m_edges))
        e->removeDynamicProperty(property);
}

QJSValue Graph::list_nodes()
{
    return makeScriptArray(engine(), m_nodes);
}

QJSValue Graph::list_edges()
{
    return makeScriptArray(engine(), m_edges);
}

QJSValue Graph::end_nodes()
{
    return makeScriptArray(engine(), m_ends);
}

QJSValue Graph::add_node(const QString &name)
{
    Node *n = addNode(name);
    return n ? n->wrapperIn(engine()) : QJSValue();
}

QJSValue Graph::add_edge(Node *from, Node *to)
{
    Edge *e = addEdge(from, to);
    return e ? e->wrapperIn(engine()) : QJSValue();
}

QJSValue Graph::node_byname(const QString &name)
{
    Node *n = node(name);
    return n ? n->wrapperIn(engine()) : QJSValue();
}

QJSValue Graph::begin_node()
{
    return m_begin ? m_begin->wrapperIn(engine()) : QJSValue();
}

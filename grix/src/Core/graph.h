#ifndef GRAPH_H
#define GRAPH_H

#include "graphelement.h"
#include "graphlists.h"

#include <QJSValue>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QVariant>

class GraphDocument;
class GraphGroup;

// The nodes and edges of one graph with the rules for adding edges: an undirected graph has no
// loops and at most one edge between two nodes; a directed graph accepts loops and parallel
// edges. Every slot is reachable from scripts; the *_-named slots return script values.
class Graph : public GraphElement
{
    Q_OBJECT
    Q_MOC_INCLUDE("node.h")
    Q_MOC_INCLUDE("edge.h")
    Q_MOC_INCLUDE("graphgroup.h")
    // The file format writes these in this order.
    Q_PROPERTY(bool directed READ directed WRITE setDirected)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QString nodeDefaultColor READ nodeDefaultColor WRITE setNodeDefaultColor)
    Q_PROPERTY(QString edgeDefaultColor READ edgeDefaultColor WRITE setEdgeDefaultColor)
    Q_PROPERTY(bool automate READ automate WRITE setAutomate)
public:
    explicit Graph(GraphDocument *document);
    ~Graph() override;

    GraphDocument *document() const { return m_document; }
    void readOnly(bool readOnly) { m_readOnly = readOnly; }
    bool readOnly() const { return m_readOnly; }
    QPointF relativeCenter() const { return m_relativeCenter; }
    void calcRelativeCenter();
    // Wraps the graph for engine and publishes a named graph as a global; its nodes and edges get
    // their wrappers when a script first reaches them.
    void setEngine(QJSEngine *engine) override;
    GraphElement *propertyScope() const override { return const_cast<Graph *>(this); }
    qsizetype scopeSize() const override { return 1; }
    // Whether node is one of this graph's nodes (not removed).
    bool contains(const Node *node) const { return m_nodeSet.contains(node); }

    Edge *addEdge(Node *from, Node *to);
    Edge *addEdge(const QString &name_from, const QString &name_to);
    void remove(Node *node);
    void remove(Edge *edge);
    // Takes the graph out of its document and deletes it (deferred). Not a slot: the engine
    // passes remove(undefined) to a no-argument overload, so a script removing a node it failed
    // to find would delete the whole graph. Scripts write g.remove(g) instead.
    void remove();

public Q_SLOTS:
    void setName(const QString &name) { m_name = name; }
    QString name() const { return m_name; }
    void setDirected(bool directed = true);
    bool directed() const { return m_directed; }
    NodeList nodes() const { return m_nodes; }
    EdgeList edges() const { return m_edges; }

    Node *begin() const { return m_begin; }
    bool setBegin(Node *node);
    Node *addEnd(Node *node);
    void removeEnd(Node *node);

    Node *addNode(const QString &name);
    Node *addNode(const QString &name, QPointF point);
    // Scripts reach addEdge(from, to) with nodes or names and remove(item) with a node, an edge
    // or the graph itself through these: the engine cannot tell apart overloads that differ only
    // in pointer types and would pass null to the wrong one.
    Edge *addEdge(const QJSValue &from, const QJSValue &to);
    Node *node(const QString &name) const;
    Node *node() const;

    void remove(const QJSValue &item);

    GraphGroup *addGroup(const QString &name);

    void setNodeDefaultColor(const QString &color) { m_nodeDefaultColor = color; }
    QString nodeDefaultColor() const { return m_nodeDefaultColor; }
    void setEdgeDefaultColor(const QString &color) { m_edgeDefaultColor = color; }
    QString edgeDefaultColor() const { return m_edgeDefaultColor; }
    void setNodesColor(const QString &color);
    void setEdgesColor(const QString &color);

    void setAutomate(bool automate);
    bool automate() const { return m_automate; }

    void setNodeNameVisibility(bool visible);
    bool nodeNameVisibility() const { return m_nodeNameVisibility; }
    void setEdgeNameVisibility(bool visible);
    bool edgeNameVisibility() const { return m_edgeNameVisibility; }
    void setNodeValueVisibility(bool visible);
    bool nodeValueVisibility() const { return m_nodeValueVisibility; }
    void setEdgeValueVisibility(bool visible);
    bool edgeValueVisibility() const { return m_edgeValueVisibility; }

    // A graph's user property is the integer 0 unless a value is given. Declared again rather than
    // overloaded: the script engine looks no further than the first class that has the name.
    void addDynamicProperty(const QString &property, const QVariant &value = QVariant(0))
    {
        GraphElement::addDynamicProperty(property, value);
    }
    void addNodesDynamicProperty(const QString &property, const QVariant &value = QVariant(0));
    void addEdgesDynamicProperty(const QString &property, const QVariant &value = QVariant(0));
    void removeNodesDynamicProperty(const QString &property);
    void removeEdgesDynamicProperty(const QString &property);

    // Script forms: new arrays of wrappers, or an undefined value when nothing matches.
    QJSValue list_nodes();
    QJSValue list_edges();
    QJSValue end_nodes();
    QJSValue add_node(const QString &name);
    QJSValue add_edge(Node *from, Node *to);
    QJSValue node_byname(const QString &name);
    QJSValue begin_node();

Q_SIGNALS:
    void nodeCreated(Node *node);
    void edgeCreated(Edge *edge);
    void complexityChanged(bool directed);
    void changed();
    void orientedChanged(bool oriented);
    void automateChanged(bool automate);

private:
    GraphDocument *m_document;
    bool m_directed = false;
    NodeList m_nodes;
    QSet<const Node *> m_nodeSet; // the same nodes, for the membership test of every addEdge
    EdgeList m_edges;
    QPointF m_relativeCenter;
    QString m_name;
    Node *m_begin = nullptr;
    NodeList m_ends;
    QString m_nodeDefaultColor = QStringLiteral("blue");
    QString m_edgeDefaultColor = QStringLiteral("gray");
    bool m_automate = false;
    bool m_readOnly = false;
    bool m_nodeNameVisibility = true;
    bool m_edgeNameVisibility = false;
    bool m_nodeValueVisibility = true;
    bool m_edgeValueVisibility = true;
};

#endif

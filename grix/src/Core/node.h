#ifndef NODE_H
#define NODE_H

#include "graphelement.h"
#include "graphlists.h"

#include <QHash>
#include <QJSValue>
#include <QString>
#include <QVariant>

#include <memory>

class Graph;


// A vertex of a Graph. It keeps its own incidence lists (edges in, edges out, loops), from which
// the adjacency queries are answered. Every visible change is announced by changed(), unless it
// happens inside a startChange()/endChange() bracket, which announces it once at the end.
class Node : public GraphElement
{
    Q_OBJECT
    Q_MOC_INCLUDE("edge.h")
    Q_MOC_INCLUDE("graph.h")
    // The file format writes these in this order. x and y are written through setX/setY, which take
    // whole numbers, so a position set as a property is truncated; setPos keeps fractions.
    Q_PROPERTY(qreal x READ x WRITE setX)
    Q_PROPERTY(qreal y READ y WRITE setY)
    Q_PROPERTY(qreal width READ width WRITE setWidth)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QString color READ color WRITE setColor)
    Q_PROPERTY(bool begin READ begin WRITE setBegin)
    Q_PROPERTY(bool end READ end WRITE setEnd)
    Q_PROPERTY(QVariant value READ value WRITE setValue)
    Q_PROPERTY(QString iconPackage READ iconPackage WRITE setIconPackage)
    Q_PROPERTY(QString icon READ icon WRITE setIcon)
public:
    explicit Node(Graph *graph);
    ~Node() override;

    Graph *graph() const { return m_graph; }
    bool showName() const { return m_showName; }
    bool showValue() const { return m_showValue; }
    void startChange() { m_changing = true; }
    void endChange();
    void remove();

    void addInEdge(Edge *edge);
    void addOutEdge(Edge *edge);
    void addSelfEdge(Edge *edge) { m_selfEdges.append(edge); }
    enum EdgeListKind { InEdges = 0, OutEdges = 1, SelfEdges = 2 };
    void removeEdge(Edge *edge, int list);
    // How many edges join this node and n in either direction (the loops when n is this node):
    // edges(n).size() without making the list, and without a scan on nodes of high degree.
    qsizetype edgeCount(const Node *n) const;

    QJSValue createScriptArray(const EdgeList &list);
    GraphElement *propertyScope() const override;
    qsizetype scopeSize() const override;
    // Called by a graph being destroyed: the node goes without touching the graph or its edges.
    void orphan() { m_graph = nullptr; }

public Q_SLOTS:
    void setX(int x);
    void setY(int y);
    void setWidth(double width);
    void setPos(qreal x, qreal y);
    qreal x() const { return m_x; }
    qreal y() const { return m_y; }
    qreal width() const { return m_width; }
    void setColor(const QString &color);
    QString color() const { return m_color; }
    void setName(const QString &name);
    QString name() const { return m_name; }
    bool begin() const { return m_begin; }
    bool end() const { return m_end; }
    void setBegin(bool begin = true);
    void setEnd(bool end = true);
    void setValue(const QVariant &value);
    void setValue(const QString &value);
    QVariant value() const { return m_value; }
    void setIcon(const QString &icon);
    QString icon() const { return m_icon; }
    QString iconPackage() const { return m_iconPackage; }
    void setIconPackage(const QString &iconPackage) { m_iconPackage = iconPackage; }
    // Despite the name, the flag is stored as given: hideName(true) shows the name. Callers rely
    // on this, so the name is kept on purpose.
    void hideName(bool shown);
    void hideValue(bool shown);

    NodeList adjacent_nodes() const;
    EdgeList adjacent_edges() const;
    EdgeList edges(Node *n) const;
    EdgeList in_edges() const { return m_inEdges; }
    EdgeList out_edges() const { return m_outEdges; }
    EdgeList self_edges() const { return m_selfEdges; }

    QJSValue adj_nodes();
    QJSValue adj_edges();
    QJSValue input_edges();
    QJSValue output_edges();
    QJSValue loop_edges();
    QJSValue connected_edges(Node *n);

    void self_remove();
    Edge *addEdge(Node *to);

Q_SIGNALS:
    void removed();
    void changed();

private:
    void notifyChange();
    void emitChanged();
    void countNeighbour(const Node *n, int delta);
    qsizetype scanCount(const Node *n) const;

    Graph *m_graph;
    qreal m_x = 0;
    qreal m_y = 0;
    qreal m_width = 0.5;
    QString m_name;
    QString m_color;
    bool m_begin = false;
    bool m_end = false;
    bool m_showName = true;
    bool m_showValue = true;
    bool m_changing = false;
    QVariant m_value = QVariant(0);
    QString m_icon = QStringLiteral("grix_default");
    QString m_iconPackage;
    EdgeList m_inEdges;
    EdgeList m_outEdges;
    EdgeList m_selfEdges;
    // Edges per neighbour, kept once the node has many edges, so adding an edge between two
    // such nodes does not walk their lists (a complete graph would be cubic).
    std::unique_ptr<QHash<const Node *, int>> m_neighbours;
    // One bit per neighbour ever linked (by a hash of its address): a clear bit proves there is
    // no edge to that node without walking the lists, which is the common case when adding one.
    quint64 m_neighbourBits[2] = {0, 0};
};

#endif

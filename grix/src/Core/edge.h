#ifndef EDGE_H
#define EDGE_H

#include "graphelement.h"

#include <QJSValue>
#include <QString>

#include <memory>

class Graph;
class Node;


// An edge between two nodes of one graph; from equals to for a loop. Edges are made only by
// Graph::addEdge, which checks the graph's rules first.
class Edge : public GraphElement
{
    Q_OBJECT
    Q_MOC_INCLUDE("node.h")
    // The file format writes these in this order.
    Q_PROPERTY(QString color READ color WRITE setColor)
    Q_PROPERTY(QString value READ value WRITE setValue)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(double width READ width WRITE setWidth)
    Q_PROPERTY(QString style READ style WRITE setStyle)
public:
    Edge(Graph *graph, Node *from, Node *to);
    // For Graph::addEdge, which has counted the edges already between from and to.
    Edge(Graph *graph, Node *from, Node *to, qsizetype edgesBefore);
    ~Edge() override;

    Graph *graph() const { return m_graph; }
    // 1 for the first edge between its two nodes, 2 for the second, and so on.
    int relativeIndex() const { return m_relativeIndex; }
    void remove();
    // Emits changed() of the edge and of its graph.
    void emitChangedSignal();
    GraphElement *propertyScope() const override;
    qsizetype scopeSize() const override;
    // Called by a graph being destroyed: the edge goes without touching the graph or its nodes.
    void orphan() { m_graph = nullptr; }

public Q_SLOTS:
    Node *from() const { return m_from; }
    Node *to() const { return m_to; }
    const QString &value() const;
    void setValue(const QString &value);
    const QString &name() const;
    void setName(const QString &name);
    QString color() const { return m_color; }
    void setColor(const QString &color);
    double width() const { return m_width; }
    void setWidth(double width);
    const QString &style() const { return m_style; }
    void setStyle(const QString &style);
    bool showName() const { return m_showName; }
    bool showValue() const { return m_showValue; }
    // Stores the flag as given, like Node::hideName; the name is kept on purpose for callers.
    void hideName(bool shown);
    void hideValue(bool shown);
    QJSValue start();
    QJSValue end();
    void self_remove();

Q_SIGNALS:
    void removed();
    void changed();

private:
    Graph *m_graph;
    Node *m_from;
    Node *m_to;
    int m_relativeIndex = 1;
    // Value and name, made when one is first set: most edges of a large graph have neither, and
    // two strings would take a tenth of the edge's memory.
    struct Texts
    {
        QString value;
        QString name;
    };
    Texts &texts();
    std::unique_ptr<Texts> m_texts;
    QString m_color;
    bool m_showName = true;
    bool m_showValue = true;
    QString m_style = QStringLiteral("solid");
    double m_width = 1.0;
};

#endif

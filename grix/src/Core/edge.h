#ifndef EDGE_H
#define EDGE_H

#include <QJSEngine>
#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

class Graph;
class Node;


// An edge between two nodes of one graph; from equals to for a loop. Edges are made only by
// Graph::addEdge, which checks the graph's rules first.
class Edge : public QObject
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
    ~Edge() override;

    Graph *graph() const { return m_graph; }
    // 1 for the first edge between its two nodes, 2 for the second, and so on.
    int relativeIndex() const { return m_relativeIndex; }
    void remove();
    void emitChangedSignal() { Q_EMIT changed(); }
    void setEngine(QJSEngine *engine);
    QJSEngine *engine() const { return m_engine; }
    QJSValue scriptValue() const { return m_scriptValue; }
    void markRegistered() { m_registered = true; }
    // Called by a graph being destroyed: the edge goes without touching the graph or its nodes.
    void orphan() { m_graph = nullptr; }

public Q_SLOTS:
    Node *from() const { return m_from; }
    Node *to() const { return m_to; }
    const QString &value() const { return m_value; }
    void setValue(const QString &value);
    const QString &name() const { return m_name; }
    void setName(const QString &name);
    QString color() const { return m_color; }
    void setColor(const QString &color);
    double width() const { return m_width; }
    void setWidth(double width);
    const QString &style() const { return m_style; }
    void setStyle(const QString &style);
    void addDynamicProperty(const QString &property, const QVariant &value);
    void removeDynamicProperty(const QString &property);
    bool showName() const { return m_showName; }
    bool showValue() const { return m_showValue; }
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
    QString m_value;
    QString m_name;
    QString m_color;
    bool m_showName = true;
    bool m_showValue = true;
    bool m_registered = false;
    QString m_style = QStringLiteral("solid");
    double m_width = 1.0;
    QJSValue m_scriptValue;
    QPointer<QJSEngine> m_engine; // the backend deletes its engine between runs
};

#endif

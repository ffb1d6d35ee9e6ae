#ifndef GRAPHELEMENT_H
#define GRAPHELEMENT_H

#include <QJSEngine>
#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

// What graphs, nodes and edges have in common: user properties (Qt dynamic properties, entered
// in the DynamicPropertiesList registry and shown to scripts like fixed ones) and the object's
// wrapper in a script engine. Adding or removing a user property is written here once.
class GraphElement : public QObject
{
    Q_OBJECT
public:
    enum Kind { GraphKind, NodeKind, EdgeKind };

    Kind kind() const { return m_kind; }
    // The graph under which the registry files this element's user properties: its own graph for a
    // node or an edge, itself for a graph. Null once the graph is being destroyed.
    virtual GraphElement *propertyScope() const = 0;
    // How many elements of this kind that graph holds (its nodes, its edges; 1 for a graph).
    virtual qsizetype scopeSize() const = 0;

    // Makes the wrapper of this element in engine (the engine does not own the element).
    virtual void setEngine(QJSEngine *engine);
    QJSEngine *engine() const { return m_engine; }
    // The wrapper in the engine of setEngine(). A graph holds on to its wrapper; a node or edge
    // asks the engine, which keeps one wrapper per object as long as scripts refer to it: holding
    // a wrapper for each of a million edges made every garbage collection mark them all.
    QJSValue scriptValue() const;
    // The wrapper in engine, made now if the element has none there yet; undefined without engine.
    QJSValue wrapperIn(QJSEngine *engine);

    // A value read from a foreign file: a fixed property of that name goes through its setter (which
    // converts it), any other name becomes a user property.
    void setAttribute(const QString &name, const QVariant &value);
    // The names of the user properties, in the order the element received them (Qt's own "_q_"
    // bookkeeping left out).
    QList<QByteArray> userPropertyNames() const;

    // Set by the registry once this element is entered there, so only such elements clean it up.
    void markRegistered() { m_registered = true; }

public Q_SLOTS:
    // Sets the user property; a valid value also enters it in the registry, an invalid one deletes
    // the Qt property.
    void addDynamicProperty(const QString &property, const QVariant &value);
    void removeDynamicProperty(const QString &property);

protected:
    GraphElement(Kind kind, QObject *parent);
    // For the destructors of nodes and edges, while propertyScope() still answers.
    void leaveRegistry();

private:
    Kind m_kind;
    bool m_registered = false;
    QJSValue m_scriptValue;
    QPointer<QJSEngine> m_engine; // the backend deletes its engine between runs
};

#endif

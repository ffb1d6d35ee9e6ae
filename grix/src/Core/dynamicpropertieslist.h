#ifndef DYNAMICPROPERTIESLIST_H
#define DYNAMICPROPERTIESLIST_H

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>

class GraphElement;

// How widely one user property is spread inside one graph.
enum DynamicPropertyType { None = 0, Unique = 1, Multiple = 2, Global = 3 };

// The process-wide record of which graphs, nodes and edges carry which user property, per graph,
// so an editor can tell whether a property is on none, one, several or all nodes (edges) of a
// graph, and rename it on all of them at once. The objects themselves hold the values. It knows
// them only as GraphElements: each says what it is and which graph files its properties.
class DynamicPropertiesList : public QObject
{
    Q_OBJECT
public:
    // Named New() although it returns the one instance: callers know it by this name.
    static DynamicPropertiesList *New();

    void addProperty(QObject *obj, const QString &name);
    void removeProperty(QObject *obj, const QString &name);
    DynamicPropertyType type(QObject *obj, const QString &name);
    QString typeInText(QObject *obj, const QString &name);
    // With a null graph, forgets everything; else forgets that graph's entries.
    void clear(QObject *graph = nullptr);
    void changePropertyName(const QString &oldName, const QString &newName, QObject *obj);
    // Drops every entry of a node or edge that is being destroyed, so no entry outlives its object.
    void forget(GraphElement *element);

private:
    DynamicPropertiesList() = default;
    static DynamicPropertiesList *self;

    // By property name, the elements that carry it, in the order they were entered (an element
    // entered twice is listed twice). A hash of lists rather than a multi-map: a file that gives a
    // million elements a property enters them in constant time each.
    using Carriers = QHash<QString, QList<GraphElement *>>;
    // The per-graph map of nodes or edges that element belongs to; null for a graph or no element.
    QMap<const GraphElement *, Carriers> *scopeMaps(const GraphElement *element);

    // Guards the maps: scripts change properties on the document thread while an editor asks.
    // Never held while an object's property is written, since that calls back in here.
    QMutex m_mutex;
    QMap<const GraphElement *, Carriers> m_nodes;
    QMap<const GraphElement *, Carriers> m_edges;
    Carriers m_graphs;
};

#endif

#include "dynamicpropertieslist.h"

#include "edge.h"
#include "graph.h"
#include "node.h"

#include <daxi18n.h>

#include <QSet>

DynamicPropertiesList *DynamicPropertiesList::self = nullptr;

namespace {

template<class T>
void removePairs(QMultiMap<QString, T *> &map, const QString &name, T *object)
{
    map.remove(name, object);
}

template<class T>
void removeObject(QMap<Graph *, QMultiMap<QString, T *>> &maps, T *object)
{
    auto it = maps.find(object->graph());
    if (it == maps.end())
        return;
    for (auto entry = it->begin(); entry != it->end();) {
        if (entry.value() == object)
            entry = it->erase(entry);
        else
            ++entry;
    }
}

DynamicPropertyType spread(qsizetype registered, qsizetype total)
{
    if (registered == total)
        return Global;
    if (registered == 0)
        return None;
    if (registered == 1)
        return Unique;
    return Multiple;
}

} // namespace

DynamicPropertiesList *DynamicPropertiesList::New()
{
    // Made on first use and kept for the life of the process; C++ makes the first use thread-safe.
    static DynamicPropertiesList *instance = (self = new DynamicPropertiesList);
    return instance;
}

void DynamicPropertiesList::addProperty(QObject *obj, const QString &name)
{
    QMutexLocker lock(&m_mutex);
    if (auto *node = qobject_cast<Node *>(obj)) {
        m_nodes[node->graph()].insert(name, node);
        node->markRegistered();
    } else if (auto *edge = qobject_cast<Edge *>(obj)) {
        m_edges[edge->graph()].insert(name, edge);
        edge->markRegistered();
    } else if (auto *graph = qobject_cast<Graph *>(obj)) {
        m_graphs.insert(name, graph);
    }
}

void DynamicPropertiesList::removeProperty(QObject *obj, const QString &name)
{
    QMutexLocker lock(&m_mutex);
    if (auto *node = qobject_cast<Node *>(obj)) {
        auto it = m_nodes.find(node->graph());
        if (it != m_nodes.end())
            removePairs(*it, name, node);
    } else if (auto *edge = qobject_cast<Edge *>(obj)) {
        auto it = m_edges.find(edge->graph());
        if (it != m_edges.end())
            removePairs(*it, name, edge);
    } else if (auto *graph = qobject_cast<Graph *>(obj)) {
        removePairs(m_graphs, name, graph);
    }
}

DynamicPropertyType DynamicPropertiesList::type(QObject *obj, const QString &name)
{
    QMutexLocker lock(&m_mutex);
    if (auto *node = qobject_cast<Node *>(obj)) {
        auto it = m_nodes.constFind(node->graph());
        if (it == m_nodes.constEnd())
            return None;
        return spread(it->count(name), node->graph()->nodes().size());
    }
    if (auto *edge = qobject_cast<Edge *>(obj)) {
        auto it = m_edges.constFind(edge->graph());
        if (it == m_edges.constEnd())
            return None;
        return spread(it->count(name), edge->graph()->edges().size());
    }
    if (qobject_cast<Graph *>(obj))
        return m_graphs.contains(name) ? Unique : None;
    return None;
}

QString DynamicPropertiesList::typeInText(QObject *obj, const QString &name)
{
    switch (type(obj, name)) {
    case Unique:
        return i18n("Unique");
    case Multiple:
        return i18n("Multiple");
    case Global:
        return i18n("Global");
    case None:
        break;
    }
    return i18n("None");
}

void DynamicPropertiesList::clear(Graph *graph)
{
    QMutexLocker lock(&m_mutex);
    if (!graph) {
        m_nodes.clear();
        m_edges.clear();
        m_graphs.clear();
        return;
    }
    m_nodes.remove(graph);
    m_edges.remove(graph);
    for (auto it = m_graphs.begin(); it != m_graphs.end();) {
        if (it.value() == graph)
            it = m_graphs.erase(it);
        else
            ++it;
    }
}

void DynamicPropertiesList::changePropertyName(const QString &oldName, const QString &newName, QObject *obj)
{
    // Collect first, then rename without the lock: renaming registers and unregisters again.
    QList<QObject *> carriers;
    {
        QMutexLocker lock(&m_mutex);
        if (auto *node = qobject_cast<Node *>(obj)) {
            auto it = m_nodes.constFind(node->graph());
            if (it != m_nodes.constEnd()) {
                for (Node *n : it->values(oldName))
                    carriers.append(n);
            }
        } else if (auto *edge = qobject_cast<Edge *>(obj)) {
            auto it = m_edges.constFind(edge->graph());
            if (it != m_edges.constEnd()) {
                for (Edge *e : it->values(oldName))
                    carriers.append(e);
            }
        } else if (qobject_cast<Graph *>(obj)) {
            carriers.append(obj);
        }
    }
    // An object registered twice is renamed once: a second pass would find the old name gone and
    // wipe the value it had just moved.
    QSet<QObject *> done;
    for (QObject *carrier : std::as_const(carriers)) {
        if (done.contains(carrier))
            continue;
        done.insert(carrier);
        const QVariant value = carrier->property(oldName.toUtf8());
        if (auto *n = qobject_cast<Node *>(carrier)) {
            n->addDynamicProperty(newName, value);
            n->removeDynamicProperty(oldName);
        } else if (auto *e = qobject_cast<Edge *>(carrier)) {
            e->addDynamicProperty(newName, value);
            e->removeDynamicProperty(oldName);
        } else if (auto *g = qobject_cast<Graph *>(carrier)) {
            g->addDynamicProperty(newName, value);
            g->removeDynamicProperty(oldName);
        }
    }
}

void DynamicPropertiesList::forget(Node *node)
{
    QMutexLocker lock(&m_mutex);
    removeObject(m_nodes, node);
}

void DynamicPropertiesList::forget(Edge *edge)
{
    QMutexLocker lock(&m_mutex);
    removeObject(m_edges, edge);
}

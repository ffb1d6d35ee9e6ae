#include "dynamicpropertieslist.h"

#include "graphelement.h"

#include <daxi18n.h>

#include <QSet>

DynamicPropertiesList *DynamicPropertiesList::self = nullptr;

namespace {

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

void removeCarrier(QHash<QString, QList<GraphElement *>> &carriers, const QString &name, GraphElement *element)
{
    auto it = carriers.find(name);
    if (it == carriers.end())
        return;
    it->removeAll(element);
    if (it->isEmpty())
        carriers.erase(it);
}

void forgetIn(QHash<QString, QList<GraphElement *>> &carriers, GraphElement *element)
{
    for (auto it = carriers.begin(); it != carriers.end();) {
        it->removeAll(element);
        it = it->isEmpty() ? carriers.erase(it) : std::next(it);
    }
}

} // namespace

DynamicPropertiesList *DynamicPropertiesList::New()
{
    // Made on first use and kept for the life of the process; C++ makes the first use thread-safe.
    static DynamicPropertiesList *instance = (self = new DynamicPropertiesList);
    return instance;
}

QMap<const GraphElement *, DynamicPropertiesList::Carriers> *DynamicPropertiesList::scopeMaps(const GraphElement *element)
{
    if (!element)
        return nullptr;
    switch (element->kind()) {
    case GraphElement::NodeKind:
        return &m_nodes;
    case GraphElement::EdgeKind:
        return &m_edges;
    case GraphElement::GraphKind:
        break;
    }
    return nullptr;
}

void DynamicPropertiesList::addProperty(QObject *obj, const QString &name)
{
    auto *element = qobject_cast<GraphElement *>(obj);
    if (!element)
        return;
    QMutexLocker lock(&m_mutex);
    if (auto *maps = scopeMaps(element))
        (*maps)[element->propertyScope()][name].append(element);
    else
        m_graphs[name].append(element);
    element->markRegistered();
}

void DynamicPropertiesList::removeProperty(QObject *obj, const QString &name)
{
    auto *element = qobject_cast<GraphElement *>(obj);
    if (!element)
        return;
    QMutexLocker lock(&m_mutex);
    if (auto *maps = scopeMaps(element)) {
        auto it = maps->find(element->propertyScope());
        if (it != maps->end())
            removeCarrier(*it, name, element);
    } else {
        removeCarrier(m_graphs, name, element);
    }
}

DynamicPropertyType DynamicPropertiesList::type(QObject *obj, const QString &name)
{
    auto *element = qobject_cast<GraphElement *>(obj);
    if (!element)
        return None;
    QMutexLocker lock(&m_mutex);
    if (auto *maps = scopeMaps(element)) {
        auto it = maps->constFind(element->propertyScope());
        if (it == maps->constEnd())
            return None;
        return spread(it->value(name).size(), element->scopeSize());
    }
    return m_graphs.contains(name) ? Unique : None;
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

void DynamicPropertiesList::clear(QObject *graph)
{
    QMutexLocker lock(&m_mutex);
    if (!graph) {
        m_nodes.clear();
        m_edges.clear();
        m_graphs.clear();
        return;
    }
    GraphElement *scope = qobject_cast<GraphElement *>(graph);
    m_nodes.remove(scope);
    m_edges.remove(scope);
    forgetIn(m_graphs, scope);
}

void DynamicPropertiesList::changePropertyName(const QString &oldName, const QString &newName, QObject *obj)
{
    auto *element = qobject_cast<GraphElement *>(obj);
    if (!element)
        return;
    // Collect first, then rename without the lock: renaming registers and unregisters again.
    QList<GraphElement *> carriers;
    {
        QMutexLocker lock(&m_mutex);
        if (auto *maps = scopeMaps(element)) {
            auto it = maps->constFind(element->propertyScope());
            if (it != maps->constEnd())
                carriers = it->value(oldName);
        } else {
            carriers.append(element);
        }
    }
    // An object registered twice is renamed once: a second pass would find the old name gone and
    // wipe the value it had just moved.
    QSet<GraphElement *> done;
    for (GraphElement *carrier : std::as_const(carriers)) {
        if (done.contains(carrier))
            continue;
        done.insert(carrier);
        const QVariant value = carrier->property(oldName.toUtf8());
        carrier->addDynamicProperty(newName, value);
        carrier->removeDynamicProperty(oldName);
    }
}

void DynamicPropertiesList::forget(GraphElement *element)
{
    QMutexLocker lock(&m_mutex);
    auto *maps = scopeMaps(element);
    if (!maps)
        return;
    auto it = maps->find(element->propertyScope());
    if (it != maps->end())
        forgetIn(*it, element);
}

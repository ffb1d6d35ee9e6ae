#include "edge.h"

#include "dynamicpropertieslist.h"
#include "scriptpropertybridge.h"
#include "graph.h"
#include "node.h"

#include <QJSEngine>

Edge::Edge(Graph *graph, Node *from, Node *to)
    : QObject(graph)
    , m_graph(graph)
    , m_from(from)
    , m_to(to)
    , m_color(graph->edgeDefaultColor())
{
    // The nodes and the graph announce their changes to the edge themselves (Node::emitChanged,
    // Graph::setDirected), which keeps an edge free of signal connections of its own.
    if (from == to) {
        from->addSelfEdge(this);
    } else {
        from->addOutEdge(this);
        to->addInEdge(this);
    }
    m_relativeIndex = int(to->edges(from).size());
}

Edge::~Edge()
{
    if (m_graph && m_from) {
        if (m_from == m_to) {
            m_from->removeEdge(this, Node::SelfEdges);
        } else {
            m_from->removeEdge(this, Node::OutEdges);
            m_to->removeEdge(this, Node::InEdges);
        }
    }
    m_from = nullptr;
    m_to = nullptr;
    if (m_graph && m_registered)
        DynamicPropertiesList::New()->forget(this);
    Q_EMIT removed();
}

void Edge::remove()
{
    if (m_graph)
        m_graph->remove(this);
}

void Edge::setEngine(QJSEngine *engine)
{
    m_engine = engine;
    if (!engine) {
        m_scriptValue = QJSValue();
        return;
    }
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    m_scriptValue = engine->newQObject(this);
    ScriptPropertyBridge::publishAll(engine, m_scriptValue, this);
}

void Edge::setValue(const QString &value)
{
    m_value = value;
    Q_EMIT changed();
}

void Edge::setName(const QString &name)
{
    m_name = name;
    Q_EMIT changed();
}

void Edge::setColor(const QString &color)
{
    m_color = color;
    Q_EMIT changed();
}

void Edge::setWidth(double width)
{
    m_width = width;
    Q_EMIT changed();
}

void Edge::setStyle(const QString &style)
{
    m_style = style;
    Q_EMIT changed();
}

void Edge::addDynamicProperty(const QString &property, const QVariant &value)
{
    setProperty(property.toUtf8(), value);
    if (value.isValid()) {
        DynamicPropertiesList::New()->addProperty(this, property);
        if (m_engine)
            ScriptPropertyBridge::publish(m_engine, m_scriptValue, this, property.toUtf8());
    }
}

void Edge::removeDynamicProperty(const QString &property)
{
    addDynamicProperty(property, QVariant());
    DynamicPropertiesList::New()->removeProperty(this, property);
}

void Edge::hideName(bool shown)
{
    m_showName = shown;
    Q_EMIT changed();
}

void Edge::hideValue(bool shown)
{
    m_showValue = shown;
    Q_EMIT changed();
}

QJSValue Edge::start()
{
    if (!m_from || !m_engine)
        return QJSValue();
    if (m_from->engine() != m_engine)
        m_from->setEngine(m_engine);
    return m_from->scriptValue();
}

QJSValue Edge::end()
{
    if (!m_to || !m_engine)
        return QJSValue();
    if (m_to->engine() != m_engine)
        m_to->setEngine(m_engine);
    return m_to->scriptValue();
}

void Edge::self_remove()
{
    remove();
}

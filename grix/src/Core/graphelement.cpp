#include "graphelement.h"

#include "dynamicpropertieslist.h"
#include "scriptpropertybridge.h"

GraphElement::GraphElement(Kind kind, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
{
}

void GraphElement::setEngine(QJSEngine *engine)
{
    m_engine = engine;
    if (!engine) {
        m_scriptValue = QJSValue();
        return;
    }
    // Graphs, nodes and edges belong to their document; the engine must never delete them. A
    // node or edge always has its graph as parent, which alone keeps the engine from deleting it;
    // marking it C++-owned as well would make every garbage collection treat its wrapper as a
    // root, and a script that made half a million edges would mark them all, time after time.
    if (m_kind == GraphKind) {
        QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
        m_scriptValue = engine->newQObject(this);
        ScriptPropertyBridge::publishAll(engine, m_scriptValue, this);
    }
}

QJSValue GraphElement::scriptValue() const
{
    if (m_kind == GraphKind || !m_engine)
        return m_scriptValue;
    QJSValue wrapper = m_engine->newQObject(const_cast<GraphElement *>(this));
    // The engine may have made this wrapper anew since the last call; user properties need their
    // accessors on it.
    ScriptPropertyBridge::publishAll(m_engine, wrapper, const_cast<GraphElement *>(this));
    return wrapper;
}

QJSValue GraphElement::wrapperIn(QJSEngine *engine)
{
    if (!engine)
        return QJSValue();
    if (m_engine != engine)
        setEngine(engine);
    return scriptValue();
}

void GraphElement::addDynamicProperty(const QString &property, const QVariant &value)
{
    const QByteArray name = property.toUtf8();
    setProperty(name, value);
    if (!value.isValid())
        return;
    DynamicPropertiesList::New()->addProperty(this, property);
    if (m_engine)
        ScriptPropertyBridge::publish(m_engine, scriptValue(), this, name);
}

void GraphElement::removeDynamicProperty(const QString &property)
{
    addDynamicProperty(property, QVariant());
    DynamicPropertiesList::New()->removeProperty(this, property);
}

void GraphElement::leaveRegistry()
{
    if (m_registered && propertyScope())
        DynamicPropertiesList::New()->forget(this);
}

void GraphElement::setAttribute(const QString &name, const QVariant &value)
{
    const QByteArray bytes = name.toUtf8();
    if (metaObject()->indexOfProperty(bytes) >= 0)
        setProperty(bytes, value);
    else
        addDynamicProperty(name, value);
}

QList<QByteArray> GraphElement::userPropertyNames() const
{
    QList<QByteArray> names = dynamicPropertyNames();
    names.removeIf([](const QByteArray &name) { return name.startsWith("_q_"); });
    return names;
}

#include "scriptpropertybridge.h"

#include <QJSEngine>

ScriptPropertyBridge::ScriptPropertyBridge(QJSEngine *engine)
    : QObject(engine)
{
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    const QJSValue makeDefine = engine->evaluate(QStringLiteral(
        "(function(bridge) { return function(wrapper, name) {"
        "  Object.defineProperty(wrapper, name, { configurable: true, enumerable: true,"
        "    get: function() { return bridge.read(wrapper, name); },"
        "    set: function(value) { bridge.write(wrapper, name, value); } }); }; })"));
    m_define = makeDefine.call({engine->newQObject(this)});
}

ScriptPropertyBridge *ScriptPropertyBridge::forEngine(QJSEngine *engine)
{
    if (auto *bridge = engine->findChild<ScriptPropertyBridge *>(QString(), Qt::FindDirectChildrenOnly))
        return bridge;
    return new ScriptPropertyBridge(engine);
}

void ScriptPropertyBridge::publishAll(QJSEngine *engine, QJSValue wrapper, QObject *object)
{
    const QList<QByteArray> names = object->dynamicPropertyNames();
    for (const QByteArray &name : names)
        publish(engine, wrapper, object, name);
}

void ScriptPropertyBridge::publish(QJSEngine *engine, QJSValue wrapper, QObject *object, const QByteArray &name)
{
    // Fixed properties are reached by the wrapper itself; "_q_" names are Qt's own.
    if (!engine || name.isEmpty() || name.startsWith("_q_") || object->metaObject()->indexOfProperty(name) >= 0)
        return;
    forEngine(engine)->m_define.call({wrapper, QString::fromUtf8(name)});
}

QVariant ScriptPropertyBridge::read(QObject *object, const QString &name) const
{
    return object ? object->property(name.toUtf8()) : QVariant();
}

void ScriptPropertyBridge::write(QObject *object, const QString &name, const QVariant &value)
{
    if (object)
        object->setProperty(name.toUtf8(), value);
}

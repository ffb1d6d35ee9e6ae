#ifndef SCRIPTPROPERTYBRIDGE_H
#define SCRIPTPROPERTYBRIDGE_H

#include <QJSValue>
#include <QObject>
#include <QVariant>

class QJSEngine;

// Lets scripts read and write the Qt dynamic properties (user properties) of graphs, nodes and
// edges like fixed ones. The engine's object wrappers only know the meta-object, so each
// dynamic property is defined on the wrapper as an accessor that calls back in here. One bridge
// per engine, owned by it.
class ScriptPropertyBridge : public QObject
{
    Q_OBJECT
public:
    // Defines accessors on wrapper for every dynamic property object has now.
    static void publishAll(QJSEngine *engine, QJSValue wrapper, QObject *object);
    static void publish(QJSEngine *engine, QJSValue wrapper, QObject *object, const QByteArray &name);

    Q_INVOKABLE QVariant read(QObject *object, const QString &name) const;
    Q_INVOKABLE void write(QObject *object, const QString &name, const QVariant &value);

private:
    explicit ScriptPropertyBridge(QJSEngine *engine);
    static ScriptPropertyBridge *forEngine(QJSEngine *engine);

    QJSValue m_define;
};

#endif

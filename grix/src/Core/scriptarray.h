#ifndef SCRIPTARRAY_H
#define SCRIPTARRAY_H

#include <QJSEngine>
#include <QJSValue>
#include <QList>

// A new script array of the wrappers of items, in list order. An item not yet wrapped for this
// engine (made by a plain C++ call during the run) is wrapped now, so scripts see every item.
template<class T>
QJSValue makeScriptArray(QJSEngine *engine, const QList<T *> &items)
{
    if (!engine)
        return QJSValue();
    QJSValue array = engine->newArray(quint32(items.size()));
    quint32 index = 0;
    for (T *item : items)
        array.setProperty(index++, item->wrapperIn(engine));
    return array;
}

#endif

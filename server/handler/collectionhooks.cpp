#include "collectionhooks.h"

#include <QMutex>

namespace {
// Registered once at start-up and read by every connection thread.
QMutex s_mutex;
CollectionHooks::SubtreeRetrieval s_subtreeRetrieval;

template<typename F>
F current(const F &function)
{
    QMutexLocker lock(&s_mutex);
    return function;
}
} // namespace

void CollectionHooks::setSubtreeRetrieval(SubtreeRetrieval function)
{
    QMutexLocker lock(&s_mutex);
    s_subtreeRetrieval = std::move(function);
}

QString CollectionHooks::retrieveSubtreePayloads(Session *session, const Talvori::Collection &collection)
{
    if (const SubtreeRetrieval function = current(s_subtreeRetrieval))
        return function(session, collection);
    return QString();
}

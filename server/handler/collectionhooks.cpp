#include "collectionhooks.h"

#include <QMutex>

namespace {
// Registered once at start-up and read by every connection thread.
QMutex s_mutex;
CollectionHooks::SearchUpdate s_searchUpdate;
CollectionHooks::SearchRemoval s_searchRemoval;
CollectionHooks::SubtreeRetrieval s_subtreeRetrieval;

template<typename F>
F current(const F &function)
{
    QMutexLocker lock(&s_mutex);
    return function;
}
} // namespace

void CollectionHooks::setPersistentSearchUpdate(SearchUpdate function)
{
    QMutexLocker lock(&s_mutex);
    s_searchUpdate = std::move(function);
}

void CollectionHooks::setPersistentSearchRemoval(SearchRemoval function)
{
    QMutexLocker lock(&s_mutex);
    s_searchRemoval = std::move(function);
}

void CollectionHooks::setSubtreeRetrieval(SubtreeRetrieval function)
{
    QMutexLocker lock(&s_mutex);
    s_subtreeRetrieval = std::move(function);
}

void CollectionHooks::updatePersistentSearch(const Talvori::Collection &collection, NotificationCollector *collector)
{
    if (const SearchUpdate function = current(s_searchUpdate))
        function(collection, collector);
}

void CollectionHooks::removePersistentSearch(const Talvori::Collection &collection)
{
    if (const SearchRemoval function = current(s_searchRemoval))
        function(collection);
}

QString CollectionHooks::retrieveSubtreePayloads(Session *session, const Talvori::Collection &collection)
{
    if (const SubtreeRetrieval function = current(s_subtreeRetrieval))
        return function(session, collection);
    return QString();
}

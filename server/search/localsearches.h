#ifndef TALVORI_LOCALSEARCHES_H
#define TALVORI_LOCALSEARCHES_H

#include "search/localquery.h"

#include <QHash>
#include <QList>

namespace Talvori {
class Collection;
}

// The persistent searches of the local index, kept by the indexing thread: the links of each
// search collection are made to agree with its query when the search starts (and after the index
// was rebuilt), and again for every batch of items the index took in or let go. Links are written
// with SearchLinks on the thread's own data store and announced as link and unlink notifications.
class LocalSearches
{
public:
    // Starts (or restarts) the search of the collection, of query language
    // LocalSearchSchema::QueryLanguage; another language is ignored. A query that does not parse
    // is logged and leaves the search without links.
    void add(const Talvori::Collection &collection, const Xapian::Database &index);
    void remove(qint64 collectionId);
    // Every search of the search resource in this language, started afresh.
    void addAll(const Xapian::Database &index);
    // Every running search's links made to agree with the index.
    void refreshAll(const Xapian::Database &index);
    // The documents of these items changed, came or went.
    void itemsChanged(const Xapian::Database &index, const QList<qint64> &itemIds);

    bool isEmpty() const { return m_searches.isEmpty(); }

private:
    void refresh(qint64 collectionId, const LocalQuery &query, const Xapian::Database &index);

    QHash<qint64, LocalQuery> m_searches;
};

#endif

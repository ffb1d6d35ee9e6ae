#ifndef TALVORI_LOCALINDEX_H
#define TALVORI_LOCALINDEX_H

#include <QList>
#include <QString>

// The local search index on disk: where it lives, and the one-shot search SEARCH runs in it on
// its connection's thread. Each search opens the index afresh and sees the last batch the
// indexing thread committed; it never waits for that thread.
namespace LocalIndex {

// "talvori/search_index" in the user's data directory, beside the database and payload files.
QString path();

// The items the query finds, ascending. False with a message for a query that is not one
// (Xapian's message) or an index that cannot be read; an index that is not there yet finds
// nothing.
bool search(const QString &query, QList<qint64> *ids, QString *error);

} // namespace LocalIndex

#endif

#ifndef TALVORI_CACHEDQUERY_H
#define TALVORI_CACHEDQUERY_H

#include "storage/statementcache.h"

#include <QSqlQuery>
#include <QString>

// A hand-written statement on the calling thread's connection, taken from its data store's
// StatementCache for as long as this lives and given back when it goes: the records' own
// statements are prepared once per connection, like the QueryBuilder's. Values are bound on
// query() by name, as on any prepared query.
class CachedQuery
{
public:
    explicit CachedQuery(const QString &statement);
    ~CachedQuery();
    CachedQuery(const CachedQuery &) = delete;
    CachedQuery &operator=(const CachedQuery &) = delete;

    // False when the statement did not prepare; query().lastError() says why.
    bool isPrepared() const { return m_prepared; }
    QSqlQuery &query() { return m_query; }
    // Runs the statement with the values bound; one that fails is not given back to the cache.
    bool exec();

private:
    StatementCache &m_cache;
    StatementCache::Lease m_lease;
    QSqlQuery m_query;
    bool m_prepared = false;
};

#endif

#include "storage/cachedquery.h"

#include "storage/datastore.h"

CachedQuery::CachedQuery(const QString &statement)
    : m_cache(DataStore::self()->statementCache())
{
    m_lease = m_cache.acquire(DataStore::self()->database(), statement, m_query);
    m_prepared = m_lease.active;
}

CachedQuery::~CachedQuery()
{
    m_cache.release(m_lease, m_query);
}

bool CachedQuery::exec()
{
    if (!m_prepared)
        return false;
    if (m_query.exec())
        return true;
    m_lease.active = false;
    return false;
}

#include "storage/statementcache.h"

#include <limits>

namespace {
// Statements of one text kept at once: more than one is only needed while a user of the text
// runs the same text again before it is done (a nested lookup).
constexpr qsizetype MaxIdlePerText = 4;
} // namespace

StatementCache::StatementCache(int capacity)
    : m_capacity(qMax(1, capacity))
{
}

StatementCache::~StatementCache() = default;

StatementCache::Lease StatementCache::acquire(const QSqlDatabase &database, const QString &statement,
                                              QSqlQuery &query)
{
    Lease lease;
    lease.text = statement;
    lease.generation = m_generation;
    auto it = m_entries.find(statement);
    if (it != m_entries.end() && !it->idle.isEmpty()) {
        query = it->idle.takeLast();
        --m_size;
        it->lastUse = ++m_tick;
        ++m_hits;
        lease.active = true;
        return lease;
    }
    ++m_misses;
    query = QSqlQuery(database);
    lease.active = query.prepare(statement);
    return lease;
}

void StatementCache::release(Lease &lease, QSqlQuery &query)
{
    if (!lease.active)
        return;
    lease.active = false;
    QSqlQuery kept = std::move(query);
    query = QSqlQuery();
    if (lease.generation != m_generation)
        return;
    // Ends the statement's read of its rows (on SQLite a statement not reset would keep its
    // snapshot of the database); it stays prepared, with its values, for the next exec().
    kept.finish();
    Entry &entry = m_entries[lease.text];
    entry.lastUse = ++m_tick;
    if (entry.idle.size() >= MaxIdlePerText)
        return;
    entry.idle.append(std::move(kept));
    if (++m_size > m_capacity)
        evictLeastRecentlyUsed();
}

void StatementCache::evictLeastRecentlyUsed()
{
    while (m_size > m_capacity) {
        auto oldest = m_entries.end();
        quint64 oldestUse = std::numeric_limits<quint64>::max();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (!it->idle.isEmpty() && it->lastUse < oldestUse) {
                oldest = it;
                oldestUse = it->lastUse;
            }
        }
        if (oldest == m_entries.end())
            return;
        m_size -= int(oldest->idle.size());
        m_entries.erase(oldest);
    }
}

void StatementCache::clear()
{
    m_entries.clear();
    m_size = 0;
    ++m_generation;
}

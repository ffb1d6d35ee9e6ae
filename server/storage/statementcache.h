#ifndef TALVORI_STATEMENTCACHE_H
#define TALVORI_STATEMENTCACHE_H

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

// The prepared statements of one database connection, kept for the next use of the same text.
// Preparing costs more than running most statements: the database parses and plans the text, Qt
// rewrites its placeholders, and MariaDB and PostgreSQL each want a round trip to prepare and one
// to drop the statement again. A statement is lent to one user at a time; a second user of the
// same text meanwhile gets one of its own, and both are kept when they come back (a few per text,
// the least recently used texts leave first when the cache is full).
//
// Statements prepared before a schema change may describe tables that are gone (PostgreSQL then
// refuses them): whoever changes the schema, and whoever closes the connection, clears the cache.
// A statement lent out before a clear() is dropped when it comes back.
//
// Belongs to the thread of its connection, like the DataStore that owns it.
class StatementCache
{
public:
    explicit StatementCache(int capacity = 128);
    ~StatementCache();
    StatementCache(const StatementCache &) = delete;
    StatementCache &operator=(const StatementCache &) = delete;

    // A lent statement; give it back with release().
    struct Lease {
        QString text;
        quint64 generation = 0;
        bool active = false;
    };

    // Sets query to a query with statement prepared on database, from the cache or prepared now,
    // and returns the lease to give back. A statement that does not prepare leaves the driver's
    // error in query and an inactive lease.
    Lease acquire(const QSqlDatabase &database, const QString &statement, QSqlQuery &query);
    // Takes a lent statement back for the next user; its rows are dropped. A statement that
    // failed should not come back: it is simply destroyed.
    void release(Lease &lease, QSqlQuery &query);
    // Drops every statement kept (after a schema change, before the connection closes).
    void clear();

    // Statements kept and waiting for a user.
    int size() const { return m_size; }
    // How often acquire() found a statement waiting, and how often it had to prepare one.
    qint64 hits() const { return m_hits; }
    qint64 misses() const { return m_misses; }

private:
    struct Entry {
        QList<QSqlQuery> idle;
        quint64 lastUse = 0;
    };
    void evictLeastRecentlyUsed();

    QHash<QString, Entry> m_entries;
    int m_capacity;
    int m_size = 0;
    quint64 m_generation = 1;
    quint64 m_tick = 0;
    qint64 m_hits = 0;
    qint64 m_misses = 0;
};

#endif

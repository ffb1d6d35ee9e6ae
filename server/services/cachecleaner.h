#ifndef TALVORI_CACHECLEANER_H
#define TALVORI_CACHECLEANER_H

#include <QThread>

namespace Talvori {
class Collection;
}

// Expires cached payload: the payload parts of clean items nobody has read for longer than their
// collection's cache timeout lose their data, so the owning resource delivers them again when
// they are next asked for. Attribute parts, the policy's local parts and dirty items keep theirs.
// It runs on a thread of its own with its own data store, and each collection's expiry is one
// transaction, so on SQLite it waits for its turn at the write lock like every client does.
//
// The period adapts: it grows by the shortest period ("Debug/CacheCleanerPeriod", 60000 ms) after
// each run that expired no more than usual, up to ten times that, and shrinks again when more
// collections than usual had parts to expire. "Debug/CacheTimeoutUnit" is the length of one
// minute of cache timeouts.
class CacheCleaner : public QThread
{
    Q_OBJECT
public:
    explicit CacheCleaner(QObject *parent = nullptr);

    // One pass over all collections, on the calling thread; run() calls it every period.
    void cleanCache();
    int period() const { return m_period; }

protected:
    void run() override;

private:
    // True when parts of the collection expired.
    bool cleanCollection(const Talvori::Collection &collection);
    void adaptPeriod(qint64 expired);

    const int m_shortestPeriod;
    const qint64 m_minute;
    int m_period;
    qint64 m_average = 0;
};

#endif

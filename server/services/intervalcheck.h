#ifndef TALVORI_INTERVALCHECK_H
#define TALVORI_INTERVALCHECK_H

#include <QDateTime>
#include <QHash>
#include <QThread>

// Asks the owning resources to synchronise every subscribed collection whose cache policy has a
// check interval, at most once per interval. Polls on a thread of its own with its own data store,
// so loading thousands of collections never holds up the main thread.
//
// "Debug/IntervalCheckPeriod" is the poll period in milliseconds (60000); "Debug/CacheTimeoutUnit"
// the length in milliseconds of one minute of check intervals (60000). Both exist so tests need
// not wait minutes.
class IntervalCheck : public QThread
{
    Q_OBJECT
public:
    explicit IntervalCheck(QObject *parent = nullptr);

    // One pass over all collections, on the calling thread; run() calls it every period.
    void doIntervalCheck();

protected:
    void run() override;

private:
    int m_period;
    qint64 m_minute;
    // When each collection was last asked; ids are 64-bit like every collection id.
    QHash<qint64, QDateTime> m_lastRequest;
};

#endif

#ifndef TALVORI_SORVANISEARCH_H
#define TALVORI_SORVANISEARCH_H

#include "search/sorvaniresult.h"

#include <QList>
#include <QObject>
#include <QSet>

namespace Sorvani::Search {
class QueryServiceClient;
}

// A one-shot semantic search, as the SEARCH command runs it on its connection's thread: the items
// the query service lists for a query.
class SorvaniSearch : public QObject
{
    Q_OBJECT
public:
    explicit SorvaniSearch(QObject *parent = nullptr);
    ~SorvaniSearch() override;

    // The ids of the items the query finds, ascending and each once. Blocks the calling thread
    // until the service has listed them, but at most timeout() ms: a service that is slow gives
    // what it listed until then, one that is not there or refuses the query gives nothing.
    QList<qint64> search(const QString &query);

    // Set once at start-up (the "Search/Timeout" setting), read by every connection thread.
    static void setTimeout(int timeoutMs);
    static int timeout();

private Q_SLOTS:
    void hitsAdded(const QList<Sorvani::Search::Result> &results);

private:
    Sorvani::Search::QueryServiceClient *m_client;
    QSet<qint64> m_hits;
};

#endif

#include "sorvanisearch.h"

#include "common/log.h"
#include "search/queryserviceclient.h"

#include <QAtomicInt>

#include <algorithm>

using Sorvani::Search::QueryServiceClient;
using Sorvani::Search::Result;

namespace {

QAtomicInt s_timeoutMs = 15000;

} // namespace

SorvaniSearch::SorvaniSearch(QObject *parent)
    : QObject(parent)
    , m_client(new QueryServiceClient(this))
{
    connect(m_client, &QueryServiceClient::newEntries, this, &SorvaniSearch::hitsAdded);
}

SorvaniSearch::~SorvaniSearch() = default;

void SorvaniSearch::setTimeout(int timeoutMs)
{
    s_timeoutMs.storeRelaxed(timeoutMs);
}

int SorvaniSearch::timeout()
{
    return s_timeoutMs.loadRelaxed();
}

QList<qint64> SorvaniSearch::search(const QString &query)
{
    m_hits.clear();
    if (!m_client->blockingQuery(query, timeout())) {
        qWarning() << Q_FUNC_INFO << "Calling blockingQuery() failed!";
        return {};
    }
    QList<qint64> ids(m_hits.cbegin(), m_hits.cend());
    std::sort(ids.begin(), ids.end());
    return ids;
}

void SorvaniSearch::hitsAdded(const QList<Result> &results)
{
    for (const Result &result : results) {
        const qint64 id = result.itemId();
        if (id > 0)
            m_hits.insert(id);
    }
}

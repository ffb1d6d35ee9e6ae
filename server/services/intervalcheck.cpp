#include "services/intervalcheck.h"

#include "common/log.h"
#include "services/itemretrievalmanager.h"
#include "services/servicetimings.h"
#include "storage/collectionancestry.h"
#include "storage/datastore.h"
#include "storage/entities.h"

#include <QTimer>

using namespace Talvori;

IntervalCheck::IntervalCheck(QObject *parent)
    : QThread(parent)
    , m_period(ServiceTimings::intervalCheckPeriod())
    , m_minute(ServiceTimings::cacheTimeoutUnit())
{
}

void IntervalCheck::run()
{
    DataStore *store = DataStore::self();
    {
        // Timer and slot both live on this thread, so each pass runs here.
        QTimer timer;
        timer.setInterval(m_period);
        connect(&timer, &QTimer::timeout, &timer, [this] { doIntervalCheck(); });
        timer.start();
        exec();
    }
    store->close();
}

void IntervalCheck::doIntervalCheck()
{
    const QHash<qint64, Collection> all = CollectionAncestry::loadAll();
    const CollectionAncestry::Lookup lookup = CollectionAncestry::fromMap(all);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (Collection collection : all) {
        CollectionAncestry::applyActiveCachePolicy(collection, lookup);
        if (collection.cachePolicyCheckInterval() <= 0 || !collection.subscribed())
            continue;
        const QDateTime limit = now.addMSecs(-qint64(collection.cachePolicyCheckInterval()) * m_minute);
        const auto last = m_lastRequest.constFind(collection.id());
        if (last != m_lastRequest.constEnd() && limit < *last)
            continue;
        m_lastRequest.insert(collection.id(), now);
        logDebug() << "interval checking  collection " << collection.id() << "(" << collection.name() << ")";
        ItemRetrievalManager::requestCollectionSync(collection);
    }
}

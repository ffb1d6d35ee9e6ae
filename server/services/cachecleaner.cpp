#include "services/cachecleaner.h"

#include "common/exception.h"
#include "common/log.h"
#include "services/servicetimings.h"
#include "storage/collectionancestry.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/parthelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/transaction.h"

#include <QTimer>

using namespace Talvori;

CacheCleaner::CacheCleaner(QObject *parent)
    : QThread(parent)
    , m_shortestPeriod(ServiceTimings::cacheCleanerPeriod())
    , m_minute(ServiceTimings::cacheTimeoutUnit())
    , m_period(m_shortestPeriod)
{
}

void CacheCleaner::run()
{
    DataStore *store = DataStore::self();
    {
        // Timer and slot both live on this thread, so each run happens here.
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &timer, [this, &timer] {
            cleanCache();
            timer.start(m_period);
        });
        timer.start(m_period);
        exec();
    }
    store->close();
}

void CacheCleaner::cleanCache()
{
    const QHash<qint64, Collection> all = CollectionAncestry::loadAll();
    const CollectionAncestry::Lookup lookup = CollectionAncestry::fromMap(all);
    qint64 expired = 0;
    for (Collection collection : all) {
        CollectionAncestry::applyActiveCachePolicy(collection, lookup);
        if (collection.cachePolicyLocalParts() == QLatin1String("ALL") || collection.cachePolicyCacheTimeout() < 0
            || !collection.subscribed() || collection.resourceId() == 0)
            continue;
        if (cleanCollection(collection))
            ++expired;
    }
    adaptPeriod(expired);
}

bool CacheCleaner::cleanCollection(const Collection &collection)
{
    const qint64 expiry = qMax(5, collection.cachePolicyCacheTimeout()) * m_minute;
    Transaction transaction(DataStore::self(), false);
    try {
        transaction.begin();
    } catch (const TransactionException &e) {
        // Another connection kept the write lock (or the server is stopping): the next round.
        logDebug() << e.what();
        return false;
    }

    SelectQueryBuilder<Part> qb;
    qb.addJoin(QueryBuilder::InnerJoin, PimItem::tableName(), Part::pimItemIdFullColumnName(),
               PimItem::idFullColumnName());
    qb.addValueCondition(PimItem::collectionIdFullColumnName(), Query::Equals, collection.id());
    // A delivery stores its parts through STORE, which marks the item as read now: a part that has
    // just been delivered is never among these. The rows stay locked until the commit, and a
    // delivery still writing them is waited for and then seen, so it is not truncated either.
    qb.addValueCondition(PimItem::atimeFullColumnName(), Query::Less, QDateTime::currentDateTimeUtc().addMSecs(-expiry));
    qb.setForUpdate(true);
    qb.addValueCondition(Part::dataFullColumnName(), Query::IsNot, QVariant());
    qb.addValueCondition(QStringLiteral("substr( %1, 1, 4 )").arg(Part::nameFullColumnName()), Query::Equals,
                         QStringLiteral("PLD:"));
    qb.addValueCondition(PimItem::dirtyFullColumnName(), Query::Equals, false);
    if (!collection.cachePolicyLocalParts().isEmpty()) {
        QStringList kept = collection.cachePolicyLocalParts().split(QLatin1Char(' '));
        for (QString &name : kept) {
            if (!name.startsWith(QLatin1String("PLD:")))
                name.prepend(QLatin1String("PLD:"));
        }
        qb.addValueCondition(Part::nameFullColumnName(), Query::NotIn, kept);
    }
    if (!qb.exec())
        return false;
    QList<Part> parts = qb.result();
    if (parts.isEmpty())
        return false;

    logDebug() << "found" << parts.size() << "item parts to expire in collection" << collection.name();
    for (Part &part : parts) {
        if (!PartHelper::truncate(part))
            logDebug() << "failed to update item part" << part.id();
    }
    return transaction.commit();
}

void CacheCleaner::adaptPeriod(qint64 expired)
{
    // The shortest period plays the minute of the original rule: +1 while idle up to 10, back to
    // 1 when much more than usual expired.
    if (m_average >= expired) {
        if (m_period < 10 * m_shortestPeriod)
            m_period += m_shortestPeriod;
    } else if (m_period > m_shortestPeriod && expired - m_average < 50) {
        m_period -= m_shortestPeriod;
    } else {
        m_period = m_shortestPeriod;
    }
    // A quarter, not a half: the average reacts slowly on purpose.
    m_average = (m_average + expired) >> 2;
}

// The rules of the cache cleaner and the interval check in the storage layer of this process: the
// cleaner's period backs off while there is nothing to expire and comes back when much expires;
// the interval check tells collections apart by their whole 64-bit ids.

#include "services/cachecleaner.h"
#include "services/intervalcheck.h"
#include "services/itemretrievalthread.h"
#include "syncrecorder.h"
#include "testbus.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/parthelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/transaction.h"
#include "teststorage.h"

#include <QSemaphore>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace Talvori;

namespace {
constexpr int Shortest = 1000;
}

class CacheCleanerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void periodAdapts_data();
    void periodAdapts();
    void intervalCheckKeepsWholeIds();
    void aDeliveryWhileItRunsIsKept();

private:
    // Collections with one clean, long unread item each whose payload can expire.
    void addExpirable(int collections);

    TestStorage m_storage;
    TestBus m_bus;
    Resource m_resource;
    int m_collections = 0;
};

void CacheCleanerTest::initTestCase()
{
    m_storage.environment().writeServerSettings(QStringLiteral("Debug"), QStringLiteral("CacheCleanerPeriod"), Shortest);
    QVERIFY(m_bus.start(m_storage.environment().path()));
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
    m_resource = Resource(QStringLiteral("cleaned"), false);
    QVERIFY(m_resource.insert());
}

void CacheCleanerTest::addExpirable(int collections)
{
    for (int i = 0; i < collections; ++i) {
        Collection collection;
        collection.setName(QStringLiteral("c%1").arg(++m_collections));
        collection.setResourceId(m_resource.id());
        collection.setCachePolicyInherit(false);
        collection.setCachePolicyCacheTimeout(10);
        collection.setCachePolicyLocalParts(QString());
        QVERIFY(DataStore::self()->appendCollection(collection));
        PimItem item;
        item.setCollectionId(collection.id());
        item.setRemoteId(QStringLiteral("r"));
        item.setDirty(false);
        item.setAtime(QDateTime::currentDateTimeUtc().addDays(-1));
        QVERIFY(item.insert());
        Part part(item.id(), QStringLiteral("PLD:RFC822"), "payload", 7, 0, false);
        QVERIFY(PartHelper::insert(&part));
    }
}

void CacheCleanerTest::periodAdapts_data()
{
    QTest::addColumn<QList<int>>("expiring"); // collections with expired parts before each run
    QTest::addColumn<QList<int>>("periods");  // the period after each run, in shortest periods

    QTest::newRow("idle runs back off up to ten times") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
                                                        << QList<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10};
    // The average is a quarter of (average + count): 0 after one expiring collection, so the next
    // expiring run is above it again.
    QTest::newRow("a little more than usual shortens it step by step")
        << QList<int>{0, 0, 0, 1, 1, 0} << QList<int>{2, 3, 4, 3, 2, 3};
    QTest::newRow("much more than usual starts over") << QList<int>{0, 0, 0, 60} << QList<int>{2, 3, 4, 1};
}

void CacheCleanerTest::periodAdapts()
{
    QFETCH(QList<int>, expiring);
    QFETCH(QList<int>, periods);

    CacheCleaner cleaner;
    QCOMPARE(cleaner.period(), Shortest);
    QList<int> seen;
    for (int count : std::as_const(expiring)) {
        addExpirable(count);
        cleaner.cleanCache();
        seen.append(cleaner.period() / Shortest);
    }
    QCOMPARE(seen, periods);
    // Every payload that could expire did, and none expires twice.
    QSqlQuery left(DataStore::self()->database());
    QVERIFY(left.exec(QStringLiteral("SELECT COUNT(*) FROM PartTable WHERE data IS NOT NULL")) && left.next());
    QCOMPARE(left.value(0).toLongLong(), qint64(0));
}

void CacheCleanerTest::intervalCheckKeepsWholeIds()
{
    // Two collections whose ids differ only above 32 bits.
    const qint64 low = 1000003;
    const qint64 high = low + (qint64(1) << 32);
    for (qint64 id : {low, high}) {
        QSqlQuery insert(DataStore::self()->database());
        QVERIFY2(insert.exec(QStringLiteral("INSERT INTO CollectionTable (id, name, parentId, resourceId, subscribed, "
                                           "cachePolicyInherit, cachePolicyCheckInterval, cachePolicyCacheTimeout, "
                                           "cachePolicySyncOnDemand) VALUES (%1, 'wide%1', NULL, %2, %3, %4, 5, -1, %4)")
                                .arg(id)
                                .arg(m_resource.id())
                                .arg(m_storage.backend().isSqlite() ? QStringLiteral("1") : QStringLiteral("true"))
                                .arg(m_storage.backend().isSqlite() ? QStringLiteral("0") : QStringLiteral("false"))),
                 qPrintable(insert.lastError().text()));
    }
    Collection::invalidateCompleteCache();
    SyncRecorder recorder(m_bus.address(), m_resource.name());
    // The requests travel through item retrieval, as in the server.
    ItemRetrievalThread retrieval;
    retrieval.startManager(QThread::NormalPriority);
    IntervalCheck check;
    check.doIntervalCheck();
    QVERIFY(QTest::qWaitFor([&] { return !recorder.timesOf(low).isEmpty() && !recorder.timesOf(high).isEmpty(); }, 5000));
    retrieval.quit();
    retrieval.wait();
}

// A resource delivers an expired item's payload while the cleaner looks at it: the delivery's
// transaction has written the part and marked the item as read but not committed yet. The cleaner
// must wait for it and then keep what was delivered, on every backend (a plain read there would see
// the old access time and truncate the fresh payload once the delivery committed).
void CacheCleanerTest::aDeliveryWhileItRunsIsKept()
{
    addExpirable(1);
    SelectQueryBuilder<Part> newest;
    newest.addSortColumn(Part::idFullColumnName(), Query::Descending);
    newest.setLimit(1);
    QVERIFY(newest.exec());
    const Part expired = newest.result().value(0);
    QVERIFY(expired.isValid());

    QSemaphore written;
    QSemaphore commit;
    bool delivered = false;
    QThread *delivery = QThread::create([&] {
        DataStore *store = DataStore::self();
        Transaction transaction(store);
        QueryBuilder part(Part::tableName(), QueryBuilder::UpdateStatement);
        part.setColumnValue(Part::dataColumn(), QByteArray("delivered"));
        part.setColumnValue(Part::datasizeColumn(), 9);
        part.addValueCondition(Part::idColumn(), Query::Equals, expired.id());
        QueryBuilder item(PimItem::tableName(), QueryBuilder::UpdateStatement);
        item.setColumnValue(PimItem::atimeColumn(), QDateTime::currentDateTimeUtc());
        item.addValueCondition(PimItem::idColumn(), Query::Equals, expired.pimItemId());
        const bool ok = part.exec() && item.exec();
        written.release();
        commit.acquire();
        delivered = ok && transaction.commit();
    });
    CacheCleaner cleaner;
    QThread *cleaning = QThread::create([&] { cleaner.cleanCache(); });
    delivery->start();
    written.acquire();
    cleaning->start();
    QTest::qWait(300); // the cleaner is now waiting for the delivery's locks
    commit.release();
    QVERIFY(delivery->wait(20000));
    QVERIFY(cleaning->wait(20000));
    delete delivery;
    delete cleaning;
    QVERIFY(delivered);

    QSqlQuery stored(DataStore::self()->database());
    QVERIFY(stored.exec(QStringLiteral("SELECT data, datasize FROM PartTable WHERE id = %1").arg(expired.id())));
    QVERIFY(stored.next());
    QCOMPARE(stored.value(0).toByteArray(), QByteArray("delivered"));
    QCOMPARE(stored.value(1).toLongLong(), qint64(9));
}

QTEST_GUILESS_MAIN(CacheCleanerTest)
#include "tst_cachecleaner.moc"

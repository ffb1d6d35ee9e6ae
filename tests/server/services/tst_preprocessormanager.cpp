// The preprocessor manager in this process, against a real database (TALVORI_TEST_BACKEND), with a
// thread of its own standing in for a connection thread while the main thread, which hands items
// on and unhides them, is held up: what a loaded server does at the worst moment. With no
// preprocessor registered every item is unhidden as soon as the chain gets it, so what stays
// hidden is what the chain lost.

#include "services/preprocessormanager.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/transaction.h"
#include "testbus.h"
#include "teststorage.h"

#include <QTest>
#include <QThread>

#include <atomic>

using namespace Talvori;

class PreprocessorManagerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void waitingItemsBelongToTheirTransaction_data();
    void waitingItemsBelongToTheirTransaction();
    void nothingWaitsForTheWriteLockUnderTheChainLock();

private:
    // Runs step in the other thread, with that thread's data store; the main thread waits without
    // handling its events meanwhile.
    void inThread(const std::function<void(DataStore *)> &step);
    // An item stored hidden in the store's current transaction (or on its own).
    PimItem appendHidden(DataStore *store);
    bool isHidden(qint64 item) const;

    TestStorage m_storage;
    TestBus m_bus;
    QThread m_thread;
    QObject m_threadContext;
    Collection m_collection;
    MimeType m_mimeType;
    PreprocessorManager *m_manager = nullptr;
};

void PreprocessorManagerTest::initTestCase()
{
    QVERIFY(m_bus.start(m_storage.environment().path()));
    m_bus.exportTo(m_storage.environment());
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
    m_manager = PreprocessorManager::create();
    QVERIFY(m_manager);
    QTest::ignoreMessage(QtCriticalMsg, "PreprocessorManager: there is one already");
    QVERIFY(!PreprocessorManager::create()); // one per process
    QVERIFY(!m_manager->chainActive());

    Resource resource(QStringLiteral("chainres"), false);
    QVERIFY(resource.insert());
    m_collection.setName(QStringLiteral("chain"));
    m_collection.setResourceId(resource.id());
    m_collection.setParentId(0);
    m_collection.setCachePolicyInherit(true);
    QVERIFY(DataStore::self()->appendCollection(m_collection));
    m_mimeType = MimeType::retrieveByName(QStringLiteral("message/rfc822"));
    if (!m_mimeType.isValid()) {
        m_mimeType = MimeType(QStringLiteral("message/rfc822"));
        QVERIFY(m_mimeType.insert());
    }

    m_threadContext.moveToThread(&m_thread);
    m_thread.start();
}

void PreprocessorManagerTest::cleanupTestCase()
{
    m_thread.quit();
    m_thread.wait();
    delete m_manager;
    QVERIFY(!PreprocessorManager::instance());
}

void PreprocessorManagerTest::inThread(const std::function<void(DataStore *)> &step)
{
    QMetaObject::invokeMethod(&m_threadContext, [&step] { step(DataStore::self()); }, Qt::BlockingQueuedConnection);
}

PimItem PreprocessorManagerTest::appendHidden(DataStore *store)
{
    QList<Part> parts{Part(0, QStringLiteral("PLD:RFC822"), QByteArray("Subject: x"), 0, 0, false),
                      Part(0, QStringLiteral("ATR:HIDDEN"), QByteArray(), 0, 0, false)};
    PimItem item;
    item.setSize(10);
    if (!store->appendPimItem(parts, m_mimeType, m_collection, QDateTime(), QString(), QString(), item))
        return PimItem();
    return item;
}

bool PreprocessorManagerTest::isHidden(qint64 item) const
{
    const QList<Part> parts = Part::retrieveFiltered(Part::pimItemIdColumn(), item);
    return std::any_of(parts.cbegin(), parts.cend(), [](const Part &part) { return part.name() == QLatin1String("ATR:HIDDEN"); });
}

void PreprocessorManagerTest::waitingItemsBelongToTheirTransaction_data()
{
    QTest::addColumn<bool>("commitFirst");
    QTest::newRow("commit, then the next transaction") << true;
    QTest::newRow("rollback, then the next transaction") << false;
}

void PreprocessorManagerTest::waitingItemsBelongToTheirTransaction()
{
    QFETCH(bool, commitFirst);
    PimItem first;
    PimItem second;
    // One transaction ends and the next begins and appends before the main thread gets to see
    // the end of the first.
    inThread([&](DataStore *store) {
        store->beginTransaction();
        first = appendHidden(store);
        m_manager->beginHandleItem(first, store);
        if (commitFirst)
            store->commitTransaction();
        else
            store->rollbackTransaction();
        store->beginTransaction();
        second = appendHidden(store);
        m_manager->beginHandleItem(second, store);
    });
    QVERIFY(first.isValid() && second.isValid());
    // The main thread catches up while the second transaction is still open (on SQLite it then
    // waits for the write lock to unhide the first item); the transaction commits a moment later.
    QMetaObject::invokeMethod(&m_threadContext, [] {
        QThread::msleep(300);
        DataStore::self()->commitTransaction();
    });
    // The second item was neither released early (and lost, as the main thread could not see it
    // yet) nor dropped with the end of the first transaction.
    QVERIFY(QTest::qWaitFor([&] { return PimItem::retrieveById(second.id()).isValid() && !isHidden(second.id()); }, 10000));
    if (commitFirst)
        QVERIFY(!isHidden(first.id()));
    else if (first.id() != second.id()) // a rolled-back id may be given out again
        QVERIFY(!PimItem::retrieveById(first.id()).isValid());
}

void PreprocessorManagerTest::nothingWaitsForTheWriteLockUnderTheChainLock()
{
    if (!m_storage.backend().driver().startsWith(QLatin1String("QSQLITE")))
        QSKIP("only SQLite serialises writers through a lock of the server's own");
    DataStore *mainStore = DataStore::self();
    PimItem waiting;
    {
        Transaction transaction(mainStore);
        waiting = appendHidden(mainStore);
        QVERIFY(transaction.commit());
    }
    // The other thread is inside a client's transaction, holding the write lock ...
    inThread([](DataStore *store) { store->beginTransaction(); });
    // ... when the main thread sets out to unhide an item: it waits for the lock.
    m_manager->beginHandleItem(waiting, mainStore);
    std::atomic<qint64> late = -1;
    QMetaObject::invokeMethod(&m_threadContext, [&] {
        QThread::msleep(200);
        DataStore *store = DataStore::self();
        // Handing an item to the chain while holding the write lock must not need the main thread.
        const PimItem item = appendHidden(store);
        m_manager->beginHandleItem(item, store);
        store->commitTransaction();
        late = item.id();
    });
    QVERIFY(QTest::qWaitFor([&] { return late > 0 && !isHidden(waiting.id()) && !isHidden(late); }, 20000));
}

QTEST_GUILESS_MAIN(PreprocessorManagerTest)
#include "tst_preprocessormanager.moc"

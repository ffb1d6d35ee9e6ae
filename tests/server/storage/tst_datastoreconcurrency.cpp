#include "teststorage.h"

#include "storage/countquerybuilder.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/parthelper.h"
#include "storage/transaction.h"

#include <QAtomicInt>
#include <QTest>
#include <QThread>

using namespace Talvori;

namespace {

constexpr int threadCount = 8;
constexpr int itemsPerThread = 1000;
// Items per transaction: enough commits to interleave the writers often, few enough to keep the
// run short on a disk that syncs every commit.
constexpr int itemsPerTransaction = 20;

QByteArray smallPayload(int thread, int item)
{
    return QByteArrayLiteral("small ") + QByteArray::number(thread) + '/' + QByteArray::number(item);
}

// Above the threshold, so every item also writes a payload file.
QByteArray largePayload(int thread, int item)
{
    return smallPayload(thread, item).leftJustified(5000, char('a' + (thread + item) % 26));
}

} // namespace

class DataStoreConcurrencyTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void concurrentAppends();

private:
    TestStorage m_storage;
};

void DataStoreConcurrencyTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
}

void DataStoreConcurrencyTest::concurrentAppends()
{
    Resource resource(QStringLiteral("concurrency"), false);
    QVERIFY(resource.insert());
    Collection collection;
    collection.setName(QStringLiteral("concurrency"));
    collection.setResourceId(resource.id());
    QVERIFY(collection.insert());
    const MimeType mimeType = MimeType::retrieveByName(QStringLiteral("message/rfc822"));

    QAtomicInt failures;
    QList<QThread *> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.append(QThread::create([&, t] {
            DataStore *store = DataStore::self();
            if (!store->isOpened()) {
                failures.ref();
                return;
            }
            for (int first = 0; first < itemsPerThread; first += itemsPerTransaction) {
                Transaction transaction(store);
                bool ok = true;
                for (int i = first; ok && i < first + itemsPerTransaction; ++i) {
                    Part small;
                    small.setName(QStringLiteral("PLD:HEAD"));
                    small.setData(smallPayload(t, i));
                    Part large;
                    large.setName(QStringLiteral("PLD:RFC822"));
                    large.setData(largePayload(t, i));
                    QList<Part> parts{small, large};
                    PimItem item;
                    ok = store->appendPimItem(parts, mimeType, collection, QDateTime(),
                                              QStringLiteral("%1/%2").arg(t).arg(i), QString(), item);
                }
                if (!ok || !transaction.commit()) {
                    failures.ref();
                    return;
                }
            }
        }));
    }
    for (QThread *thread : std::as_const(threads)) {
        thread->start();
    }
    for (QThread *thread : std::as_const(threads)) {
        QVERIFY(thread->wait(240000));
        delete thread;
    }
    QCOMPARE(failures.loadRelaxed(), 0);

    const QList<PimItem> items = collection.items();
    QCOMPARE(items.size(), threadCount * itemsPerThread);
    for (const PimItem &item : items) {
        const int thread = item.remoteId().section(QLatin1Char('/'), 0, 0).toInt();
        const int index = item.remoteId().section(QLatin1Char('/'), 1, 1).toInt();
        const QList<Part> parts = item.parts();
        QCOMPARE(parts.size(), 2);
        for (const Part &part : parts) {
            const QByteArray expected =
                part.name() == QLatin1String("PLD:HEAD") ? smallPayload(thread, index) : largePayload(thread, index);
            QCOMPARE(part.datasize(), qint64(expected.size()));
            QCOMPARE(PartHelper::translateData(part), expected);
        }
    }
}

QTEST_GUILESS_MAIN(DataStoreConcurrencyTest)

#include "tst_datastoreconcurrency.moc"

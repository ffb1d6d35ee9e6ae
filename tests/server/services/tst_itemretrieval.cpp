// Payload retrieval from resources through the real server: a test resource on the private bus
// delivers, refuses, answers late, never answers or is absent, and the FETCH, MODIFY and collection
// synchronisation requests that reach it are checked call by call. TALVORI_TEST_BACKEND picks the
// database (TestBackend).

#include "fetchline.h"
#include "sqlinspection.h"
#include "testclient.h"
#include "testresource.h"
#include "testserver.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QTest>

#include <memory>

namespace {

// Short enough that a resource that never answers costs the test little.
const int deliveryTimeoutSeconds = 3;

} // namespace

class ItemRetrievalTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void deliversMissingPayloadOnce();
    void requestedParts_data();
    void requestedParts();
    void oneCallForConcurrentFetches();
    void otherPartsOfTheSameItemStayQueued();
    void failuresServeTheCache_data();
    void failuresServeTheCache();
    void resourceBackOnTheBus();
    void resourceNeverAsksItself();
    void noRetrievalInsideTransactionOnSqlite();
    void onDemandSynchronisation();
    void collectionMovingToAnotherResource();
    void copiesAndMovesRetrieveFirst_data();
    void copiesAndMovesRetrieveFirst();
    // Restarts the server with a long delivery time limit; runs last.
    void shutdownWhileDeliveryHangs();

private:
    // An item of res1 (in the top collection unless another is given) whose payload is not in
    // the database.
    qint64 uncachedItem(const QByteArray &remoteId, const QByteArray &layout = "(PLD:HEAD :4)",
                        const QByteArray &data = "head", qint64 collection = -1);
    // The single item line of a FETCH that must succeed.
    QByteArray fetchLine(TestClient &client, const QByteArray &command);
    // What the error log gained since the test function began.
    QByteArray newLogLines() const;
    // The first column of the first row the statement selects.
    QVariant value(const QString &sql);

    TestServer m_server;
    std::unique_ptr<TestResource> m_resource;
    TestClient m_owner;
    TestClient m_client;
    QSqlDatabase m_db;
    qint64 m_top = -1;
    // Of res2, which no resource serves.
    qint64 m_absentTop = -1;
    int m_rid = 0;
    qsizetype m_logStart = 0;
};

void ItemRetrievalTest::initTestCase()
{
    QVERIFY2(m_server.prepare(), qPrintable(m_server.errorString()));
    m_server.environment().writeServerSettings(QStringLiteral("Cache"), QStringLiteral("DeliveryTimeout"),
                                               deliveryTimeoutSeconds);
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1"), QStringLiteral("res2")}));
    m_resource = std::make_unique<TestResource>(QStringLiteral("res1"), m_server);
    QVERIFY2(m_resource->start(), qPrintable(m_resource->errorString()));
    QVERIFY(m_server.login(m_owner, "res1"));
    QVERIFY(m_server.login(m_client, "reader"));
    m_client.setTimeout((deliveryTimeoutSeconds + 20) * 1000);
    m_top = m_owner.create("\"Top\" 0 (MIMETYPE (inode/directory message/rfc822) REMOTEID \"top\")");
    TestClient absent;
    QVERIFY(m_server.login(absent, "res2"));
    m_absentTop = absent.create("\"Absent\" 0 (MIMETYPE (inode/directory message/rfc822))");
    QVERIFY(m_top > 0 && m_absentTop > 0);
    m_db = m_server.addDatabaseConnection(QStringLiteral("inspect"));
    QVERIFY2(m_db.open(), qPrintable(m_db.lastError().text()));
}

void ItemRetrievalTest::init()
{
    m_resource->setMode(TestResource::Mode::Deliver);
    m_resource->clearCalls();
    m_logStart = m_server.errorLog().size();
}

void ItemRetrievalTest::cleanupTestCase()
{
    m_db.close();
    m_client.disconnectFromServer();
    m_owner.disconnectFromServer();
    if (m_resource)
        m_resource->stop();
    QCOMPARE(m_server.stop(), 0);
}

qint64 ItemRetrievalTest::uncachedItem(const QByteArray &remoteId, const QByteArray &layout, const QByteArray &data,
                                       qint64 collection)
{
    return m_owner.tvAppend(collection > 0 ? collection : m_top, layout, data,
                            "(\\MimeType[message/rfc822] \\RemoteId[" + remoteId + "])");
}

QByteArray ItemRetrievalTest::fetchLine(TestClient &client, const QByteArray &command)
{
    QList<QByteArray> lines;
    if (!client.runOk(command, &lines) || lines.size() != 2)
        return "unexpected answer: " + lines.join('\n');
    return lines.first();
}

QByteArray ItemRetrievalTest::newLogLines() const
{
    return m_server.errorLog().mid(m_logStart);
}

QVariant ItemRetrievalTest::value(const QString &sql)
{
    return SqlInspection::value(m_db, sql);
}

void ItemRetrievalTest::deliversMissingPayloadOnce()
{
    const qint64 id = uncachedItem("once");
    QVERIFY(id > 0);
    const QByteArray fetch = "UID FETCH " + QByteArray::number(id) + " FULLPAYLOAD";
    const QByteArray expected = m_resource->payloadFor(QStringLiteral("once"));

    QCOMPARE(FetchLine::partValue(fetchLine(m_client, fetch), "PLD:RFC822"), expected);
    const QList<TestResource::Delivery> calls = m_resource->deliveries();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().uid, id);
    QCOMPARE(calls.first().remoteId, QStringLiteral("once"));
    QCOMPARE(calls.first().mimeType, QStringLiteral("message/rfc822"));
    QCOMPARE(calls.first().parts, QStringList{QStringLiteral("RFC822")});

    // Cached now: served without asking again.
    const QByteArray again = fetchLine(m_client, fetch);
    QCOMPARE(FetchLine::partValue(again, "PLD:RFC822"), expected);
    QCOMPARE(FetchLine::partValue(again, "PLD:HEAD"), QByteArray("head"));
    QCOMPARE(m_resource->deliveries().size(), 1);

    // CACHEONLY never asks.
    const qint64 other = uncachedItem("cacheonly");
    QCOMPARE(FetchLine::partValue(fetchLine(m_client, "UID FETCH " + QByteArray::number(other) + " CACHEONLY (PLD:RFC822 PLD:HEAD)"),
                       "PLD:HEAD"),
             QByteArray("head"));
    QCOMPARE(m_resource->deliveries().size(), 1);
}

void ItemRetrievalTest::requestedParts_data()
{
    QTest::addColumn<QByteArray>("layout");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("attributes");
    // The parts the resource is asked for; none means no call.
    QTest::addColumn<QStringList>("asked");

    const QString rfc822 = QStringLiteral("RFC822");
    const QString head = QStringLiteral("HEAD");
    QTest::newRow("payload cached") << QByteArray("(PLD:RFC822 :5)") << QByteArray("hello") << QByteArray("FULLPAYLOAD")
                                    << QStringList();
    QTest::newRow("named part cached") << QByteArray("(PLD:HEAD :4)") << QByteArray("head") << QByteArray("(PLD:HEAD)")
                                       << QStringList();
    QTest::newRow("attributes are never asked for")
        << QByteArray("(PLD:RFC822 :5 ATR:X :0)") << QByteArray("hello") << QByteArray("(ATR:X PLD:RFC822)")
        << QStringList();
    QTest::newRow("header only, full payload") << QByteArray("(PLD:HEAD :4)") << QByteArray("head")
                                               << QByteArray("FULLPAYLOAD") << QStringList{rfc822};
    QTest::newRow("named part missing") << QByteArray("(PLD:HEAD :4)") << QByteArray("head")
                                        << QByteArray("(PLD:RFC822)") << QStringList{rfc822};
    QTest::newRow("only the named part") << QByteArray("(PLD:HEAD :0 PLD:RFC822 :0)") << QByteArray()
                                         << QByteArray("(PLD:HEAD)") << QStringList{head};
    // The cached row comes first; the empty one after it must not bring the cached part back.
    QTest::newRow("cached part before an empty one")
        << QByteArray("(PLD:RFC822 :5 PLD:HEAD :0)") << QByteArray("hello") << QByteArray("FULLPAYLOAD")
        << QStringList{head};
    QTest::newRow("empty part before a cached one")
        << QByteArray("(PLD:HEAD :0 PLD:RFC822 :5)") << QByteArray("hello") << QByteArray("FULLPAYLOAD")
        << QStringList{head};
    QTest::newRow("every part empty") << QByteArray("(PLD:RFC822 :0 PLD:HEAD :0)") << QByteArray()
                                      << QByteArray("FULLPAYLOAD") << QStringList{rfc822, head};
}

void ItemRetrievalTest::requestedParts()
{
    QFETCH(QByteArray, layout);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, attributes);
    QFETCH(QStringList, asked);

    const QByteArray remoteId = "parts" + QByteArray::number(++m_rid);
    const qint64 id = uncachedItem(remoteId, layout, data);
    QVERIFY(id > 0);
    const QByteArray line = fetchLine(m_client, "UID FETCH " + QByteArray::number(id) + ' ' + attributes);

    const QList<TestResource::Delivery> calls = m_resource->deliveries();
    QCOMPARE(calls.size(), asked.isEmpty() ? 0 : 1);
    if (asked.isEmpty())
        return;
    QCOMPARE(calls.first().parts, asked);
    for (const QString &part : std::as_const(asked))
        QCOMPARE(FetchLine::partValue(line, "PLD:" + part.toLatin1()), m_resource->payloadFor(QString::fromLatin1(remoteId), part));
}

void ItemRetrievalTest::oneCallForConcurrentFetches()
{
    const qint64 id = uncachedItem("shared");
    m_resource->setMode(TestResource::Mode::DeliverLate, 800);
    TestClient second;
    QVERIFY(m_server.login(second, "second"));

    const QByteArray fetch = " UID FETCH " + QByteArray::number(id) + " FULLPAYLOAD\r\n";
    m_client.send("a1" + fetch);
    QVERIFY(m_resource->waitForDeliveries(1));
    second.send("b1" + fetch);

    const QByteArray expected = m_resource->payloadFor(QStringLiteral("shared"));
    const QList<QByteArray> first = m_client.readUntilTagged("a1", 20000);
    const QList<QByteArray> other = second.readUntilTagged("b1", 20000);
    QCOMPARE(first.size(), 2);
    QCOMPARE(other.size(), 2);
    QCOMPARE(FetchLine::partValue(first.first(), "PLD:RFC822"), expected);
    QCOMPARE(FetchLine::partValue(other.first(), "PLD:RFC822"), expected);
    QCOMPARE(m_resource->deliveries().size(), 1);
}

void ItemRetrievalTest::otherPartsOfTheSameItemStayQueued()
{
    const qint64 id = uncachedItem("twoparts", "(PLD:HEAD :0 PLD:RFC822 :0)", QByteArray());
    m_resource->setMode(TestResource::Mode::DeliverLate, 800);
    TestClient second;
    QVERIFY(m_server.login(second, "second"));

    const QByteArray uid = QByteArray::number(id);
    m_client.send("a1 UID FETCH " + uid + " (PLD:HEAD)\r\n");
    QVERIFY(m_resource->waitForDeliveries(1));
    second.send("b1 UID FETCH " + uid + " (PLD:RFC822)\r\n");

    const QList<QByteArray> head = m_client.readUntilTagged("a1", 20000);
    const QList<QByteArray> payload = second.readUntilTagged("b1", 20000);
    QCOMPARE(head.size(), 2);
    QCOMPARE(payload.size(), 2);
    QCOMPARE(FetchLine::partValue(head.first(), "PLD:HEAD"), m_resource->payloadFor(QStringLiteral("twoparts"), QStringLiteral("HEAD")));
    // Answered by its own delivery, not by the one of the other part.
    QCOMPARE(FetchLine::partValue(payload.first(), "PLD:RFC822"), m_resource->payloadFor(QStringLiteral("twoparts")));
    const QList<TestResource::Delivery> calls = m_resource->deliveries();
    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls.at(0).parts, QStringList{QStringLiteral("HEAD")});
    QCOMPARE(calls.at(1).parts, QStringList{QStringLiteral("RFC822")});
}

void ItemRetrievalTest::failuresServeTheCache_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("absent");
    // Delivery calls for the three items asked for.
    QTest::addColumn<int>("calls");
    QTest::addColumn<QByteArrayList>("logged");

    QTest::newRow("refuses") << int(TestResource::Mode::Refuse) << false << 3
                             << QByteArrayList{"ItemRetrieverException: Resource was unable to deliver item"};
    // One call: after it failed in time, the other two are not asked for.
    QTest::newRow("never answers")
        << int(TestResource::Mode::NeverAnswer) << false << 1
        << QByteArrayList{"ItemRetrieverException: Unable to retrieve item from resource: ",
                          "Not asking resource \"res1\" for 2 more items"};
    // res2 has never been on the bus.
    QTest::newRow("absent") << int(TestResource::Mode::Deliver) << true << 0
                            << QByteArrayList{"Cannot connect to agent instance with identifier 'res2'",
                                              "ItemRetrieverException: Unable to contact resource",
                                              "Not asking resource \"res2\" for 2 more items"};
}

void ItemRetrievalTest::failuresServeTheCache()
{
    QFETCH(int, mode);
    QFETCH(bool, absent);
    QFETCH(int, calls);
    QFETCH(QByteArrayList, logged);

    QList<qint64> ids;
    for (int i = 0; i < 3; ++i)
        ids.append(uncachedItem("failing" + QByteArray::number(++m_rid), "(PLD:HEAD :4)", "head",
                                absent ? m_absentTop : m_top));
    m_resource->setMode(TestResource::Mode(mode));

    QList<QByteArray> lines;
    QVERIFY(m_client.runOk("UID FETCH " + QByteArray::number(ids.first()) + ':' + QByteArray::number(ids.last())
                               + " FULLPAYLOAD",
                           &lines));
    QCOMPARE(lines.size(), 4);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(FetchLine::partValue(lines.at(i), "PLD:HEAD"), QByteArray("head"));
        QCOMPARE(FetchLine::partValue(lines.at(i), "PLD:RFC822"), QByteArray());
    }
    QCOMPARE(m_resource->deliveries().size(), calls);
    const QByteArray log = newLogLines();
    for (const QByteArray &text : std::as_const(logged))
        QVERIFY2(log.contains(text), log.constData());
}

void ItemRetrievalTest::resourceBackOnTheBus()
{
    const qint64 id = uncachedItem("back");
    const QByteArray fetch = "UID FETCH " + QByteArray::number(id) + " FULLPAYLOAD";
    // The server has talked to the resource before; its cached interface goes when the resource
    // leaves, and a new one is made when it is back.
    m_resource->stop();
    QTRY_VERIFY(m_server.output().contains("Lost connection to resource \"org.freedesktop.Talvori.Resource.res1\""));
    QCOMPARE(FetchLine::partValue(fetchLine(m_client, fetch), "PLD:RFC822"), QByteArray());
    QVERIFY(newLogLines().contains("ItemRetrieverException: Unable to contact resource"));
    QVERIFY2(m_resource->start(), qPrintable(m_resource->errorString()));
    QCOMPARE(FetchLine::partValue(fetchLine(m_client, fetch), "PLD:RFC822"), m_resource->payloadFor(QStringLiteral("back")));
    QCOMPARE(m_resource->deliveries().size(), 1);
}

void ItemRetrievalTest::resourceNeverAsksItself()
{
    const qint64 id = uncachedItem("own");
    const QByteArray line = fetchLine(m_owner, "UID FETCH " + QByteArray::number(id) + " FULLPAYLOAD");
    QCOMPARE(FetchLine::partValue(line, "PLD:HEAD"), QByteArray("head"));
    QCOMPARE(FetchLine::partValue(line, "PLD:RFC822"), QByteArray());
    QCOMPARE(m_resource->deliveries().size(), 0);
}

void ItemRetrievalTest::noRetrievalInsideTransactionOnSqlite()
{
    if (!m_server.backend().isSqlite())
        QSKIP("only SQLite keeps other connections from writing while a transaction is open");
    const qint64 id = uncachedItem("transaction");
    const QByteArray fetch = "UID FETCH " + QByteArray::number(id) + " FULLPAYLOAD";

    QVERIFY(m_client.runOk("BEGIN"));
    // The resource could not store its delivery before the transaction ends: served from the
    // cache at once instead of waiting for the time limit.
    QCOMPARE(FetchLine::partValue(fetchLine(m_client, fetch), "PLD:RFC822"), QByteArray());
    QVERIFY(m_client.runOk("ROLLBACK"));
    QCOMPARE(m_resource->deliveries().size(), 0);
    QVERIFY2(newLogLines().contains("inside a transaction on SQLite"), newLogLines().constData());

    QCOMPARE(FetchLine::partValue(fetchLine(m_client, fetch), "PLD:RFC822"), m_resource->payloadFor(QStringLiteral("transaction")));
}

void ItemRetrievalTest::onDemandSynchronisation()
{
    const QByteArray policy = " CACHEPOLICY (INHERIT false INTERVAL -1 CACHETIMEOUT -1 SYNCONDEMAND true)";
    const qint64 top = m_owner.create("\"OnDemand\" 0 (MIMETYPE (inode/directory message/rfc822)" + policy + ")");
    const qint64 child = m_owner.create("\"Child\" " + QByteArray::number(top) + " (MIMETYPE (message/rfc822))");
    QVERIFY(top > 0 && child > 0);

    // A top-level collection asks for the collection tree as well; its child, inheriting the
    // policy, only for itself.
    QVERIFY(m_client.runOk("SELECT SILENT " + QByteArray::number(top)));
    QVERIFY(m_client.runOk("FETCH 1:*"));
    QTRY_COMPARE(m_resource->collectionSyncs(), QList<qint64>{top});
    QCOMPARE(m_resource->treeSyncs(), 1);

    QVERIFY(m_client.runOk("SELECT SILENT " + QByteArray::number(child)));
    QVERIFY(m_client.runOk("FETCH 1:*"));
    QTRY_COMPARE(m_resource->collectionSyncs(), (QList<qint64>{top, child}));
    QCOMPARE(m_resource->treeSyncs(), 1);

    // Neither with CACHEONLY, nor by UID, nor for the resource itself.
    m_resource->clearCalls();
    QVERIFY(m_client.runOk("FETCH 1:* CACHEONLY"));
    QVERIFY(m_client.runOk("UID FETCH 1:*"));
    QVERIFY(m_owner.runOk("SELECT SILENT " + QByteArray::number(child)));
    QVERIFY(m_owner.runOk("FETCH 1:*"));
    // A later request would land after these; its arrival shows nothing came before it.
    QVERIFY(m_client.runOk("SELECT SILENT " + QByteArray::number(top)));
    QVERIFY(m_client.runOk("FETCH 1:*"));
    QTRY_COMPARE(m_resource->collectionSyncs(), QList<qint64>{top});
    QVERIFY(m_client.runOk("SELECT SILENT 0"));
}

void ItemRetrievalTest::collectionMovingToAnotherResource()
{
    TestClient other;
    QVERIFY(m_server.login(other, "res2"));
    const qint64 target = other.create("\"Target\" " + QByteArray::number(m_absentTop)
                                       + " (MIMETYPE (inode/directory message/rfc822) REMOTEID \"target\")");
    const qint64 moving = m_owner.create("\"Moving\" " + QByteArray::number(m_top)
                                         + " (MIMETYPE (inode/directory message/rfc822))");
    const qint64 below = m_owner.create("\"Below\" " + QByteArray::number(moving) + " (MIMETYPE (message/rfc822))");
    QVERIFY(target > 0 && moving > 0 && below > 0);
    const qint64 id = uncachedItem("moving", "(PLD:HEAD :4)", "head", below);
    const QByteArray modify = "MODIFY " + QByteArray::number(moving) + " PARENT " + QByteArray::number(target);

    // The new resource never had the payload and the old one lets the collection go: without
    // every payload the collection stays where it is.
    m_resource->setMode(TestResource::Mode::Refuse);
    QCOMPARE(m_client.tagged(modify), "NO Unable to retrieve the payload of item " + QByteArray::number(id)
                                          + ": Resource was unable to deliver item");
    QList<ListingLine> listing = m_client.list("LIST " + QByteArray::number(moving) + " 0 () ()");
    QCOMPARE(listing.size(), 1);
    QCOMPARE(listing.first().parentId, m_top);

    m_resource->setMode(TestResource::Mode::Deliver);
    QCOMPARE(m_client.tagged(modify), QByteArray("OK MODIFY done"));
    listing = m_client.list("LIST " + QByteArray::number(moving) + " 0 () ()");
    QCOMPARE(listing.size(), 1);
    QCOMPARE(listing.first().parentId, target);
    QCOMPARE(FetchLine::partValue(fetchLine(m_client, "UID FETCH " + QByteArray::number(id) + " CACHEONLY FULLPAYLOAD"),
                       "PLD:RFC822"),
             m_resource->payloadFor(QStringLiteral("moving")));
}

void ItemRetrievalTest::copiesAndMovesRetrieveFirst_data()
{
    QTest::addColumn<QByteArray>("command"); // %item, %source (the collection), %target
    QTest::addColumn<bool>("otherResource"); // the target's
    QTest::addColumn<bool>("retrieves");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("COPY") << QByteArray("COPY %item %target") << false << true << QByteArray("OK COPY complete");
    QTest::newRow("MOVE to another resource") << QByteArray("UID MOVE %item %target") << true << true
                                              << QByteArray("OK MOVE complete");
    QTest::newRow("COLCOPY") << QByteArray("COLCOPY %source %target") << false << true
                             << QByteArray("OK COLCOPY complete");
    QTest::newRow("COLMOVE to another resource") << QByteArray("UID COLMOVE %source %target") << true << true
                                                 << QByteArray("OK COLMOVE complete");
    // The old resource keeps the items and can deliver them later.
    QTest::newRow("MOVE within the resource") << QByteArray("UID MOVE %item %target") << false << false
                                              << QByteArray("OK MOVE complete");
    QTest::newRow("COLMOVE within the resource") << QByteArray("UID COLMOVE %source %target") << false << false
                                                 << QByteArray("OK COLMOVE complete");
}

void ItemRetrievalTest::copiesAndMovesRetrieveFirst()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, otherResource);
    QFETCH(bool, retrieves);
    QFETCH(QByteArray, answer);

    // A collection with a child whose item's payload the server does not have.
    const QByteArray name = "Source" + QByteArray::number(++m_rid);
    const qint64 source = m_owner.create('"' + name + "\" " + QByteArray::number(m_top)
                                         + " (MIMETYPE (inode/directory message/rfc822))");
    const qint64 below = m_owner.create("\"Below\" " + QByteArray::number(source) + " (MIMETYPE (message/rfc822))");
    TestClient other;
    QVERIFY(m_server.login(other, otherResource ? "res2" : "res1"));
    const qint64 target = other.create('"' + name + "Target\" " + QByteArray::number(otherResource ? m_absentTop : m_top)
                                       + " (MIMETYPE (inode/directory message/rfc822))");
    QVERIFY(source > 0 && below > 0 && target > 0);
    const QString remoteId = QString::fromLatin1(name.toLower());
    const qint64 id = uncachedItem(name.toLower(), "(PLD:HEAD :4)", "head", below);
    QVERIFY(id > 0);
    const QByteArray run = QByteArray(command)
                               .replace("%item", QByteArray::number(id))
                               .replace("%source", QByteArray::number(source))
                               .replace("%target", QByteArray::number(target));
    const auto state = [&] {
        return QStringList{value(QStringLiteral("SELECT COUNT(*) FROM PimItemTable")).toString(),
                           value(QStringLiteral("SELECT COUNT(*) FROM CollectionTable")).toString(),
                           value(QStringLiteral("SELECT collectionId FROM PimItemTable WHERE id = %1").arg(id)).toString(),
                           value(QStringLiteral("SELECT parentId FROM CollectionTable WHERE id = %1").arg(source)).toString()};
    };
    const QStringList before = state();
    const QByteArray cached = "UID FETCH " + QByteArray::number(id) + " CACHEONLY FULLPAYLOAD";

    // Without the payload the command does not go ahead, and names the item that is missing it.
    m_resource->setMode(TestResource::Mode::Refuse);
    if (retrieves) {
        QCOMPARE(m_client.tagged(run), "NO Unable to retrieve the payload of item " + QByteArray::number(id)
                                           + ": Resource was unable to deliver item");
        QCOMPARE(state(), before);
        QCOMPARE(m_resource->deliveries().size(), 1);
        m_resource->setMode(TestResource::Mode::Deliver);
        QCOMPARE(m_client.tagged(run), answer);
        QCOMPARE(m_resource->deliveries().size(), 2);
        QCOMPARE(FetchLine::partValue(fetchLine(m_client, cached), "PLD:RFC822"), m_resource->payloadFor(remoteId));
    } else {
        QCOMPARE(m_client.tagged(run), answer);
        QCOMPARE(m_resource->deliveries().size(), 0);
        QCOMPARE(FetchLine::partValue(fetchLine(m_client, cached), "PLD:RFC822"), QByteArray());
    }
    QVERIFY(state() != before);
}

void ItemRetrievalTest::shutdownWhileDeliveryHangs()
{
    // A delivery may take far longer than a shut-down may; the server must not wait for it.
    m_client.disconnectFromServer();
    m_owner.disconnectFromServer();
    m_resource->stop();
    QCOMPARE(m_server.stop(), 0);
    m_server.environment().writeServerSettings(QStringLiteral("Cache"), QStringLiteral("DeliveryTimeout"), 600);
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
    QVERIFY2(m_resource->start(), qPrintable(m_resource->errorString()));
    QVERIFY(m_server.login(m_owner, "res1"));
    QVERIFY(m_server.login(m_client, "reader"));
    const qint64 id = uncachedItem("hangs");
    QVERIFY(id > 0);

    m_resource->setMode(TestResource::Mode::NeverAnswer);
    m_client.send("h1 UID FETCH " + QByteArray::number(id) + " FULLPAYLOAD\r\n");
    QVERIFY(m_resource->waitForDeliveries(1));
    QCOMPARE(m_server.stop(), 0);
    QVERIFY2(m_server.output().contains("Item retrieval has stopped: the server is shutting down")
                 || newLogLines().contains("Item retrieval has stopped: the server is shutting down"),
             newLogLines().constData());
}

QTEST_GUILESS_MAIN(ItemRetrievalTest)
#include "tst_itemretrieval.moc"

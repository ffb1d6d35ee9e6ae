// SEARCH and SEARCH_STORE against the real server process, with a semantic query service and the
// control process's agent manager on the test's bus: the lines SEARCH sends and when it gives up
// waiting, the persistent search collection and its links as the service adds and removes
// results, MODIFY and DELETE of a search (and what a rollback leaves), and a restart.
// TALVORI_TEST_BACKEND picks the database (TestBackend).

#include "agentmanagerpeer.h"
#include "notifylistener.h"
#include "sorvanipeer.h"
#include "testclient.h"
#include "testresource.h"
#include "testserver.h"

#include <listingline.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include <memory>

namespace {

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// The ids of the item lines of an answer ("* 7 SEARCH (...)"), in their order, and every line's
// word after the id.
QList<qint64> itemIds(const QList<QByteArray> &answer, QSet<QByteArray> *words = nullptr)
{
    QList<qint64> ids;
    for (const QByteArray &line : answer) {
        if (!line.startsWith("* "))
            continue;
        const QList<QByteArray> fields = line.split(' ');
        ids.append(fields.value(1).toLongLong());
        if (words)
            words->insert(fields.value(2));
    }
    return ids;
}

// The (operation, item, collection) of each item record of the batches.
QList<QList<qint64>> itemRecords(const QList<NotificationMessage::List> &batches)
{
    QList<QList<qint64>> records;
    for (const NotificationMessage::List &batch : batches) {
        for (const NotificationMessage &message : batch) {
            if (message.type() == NotificationMessage::Item)
                records.append({message.operation(), message.uid(), message.parentCollection()});
        }
    }
    std::sort(records.begin(), records.end());
    return records;
}

} // namespace

namespace {
// Short, so that the waits on a service that never finishes stay short.
constexpr int ShortTimeout = 1500;
}

class SearchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void searchLines_data();
    void searchLines();
    void searchFailures_data();
    void searchFailures();
    void searchWaitsBounded_data();
    void searchWaitsBounded();
    void searchReleasesBusConnections();
    void searchRetrievesUncachedPayload();

    void searchStore();
    void searchStoreFailures_data();
    void searchStoreFailures();
    void linksFollowService();
    void modifyAndDeleteAfterCommit();
    void restartBringsSearchesBack();
    // Restarts the server with a long search timeout; runs last.
    void searchWithVeryManyHits();

private:
    QList<qint64> linked(qint64 collection);
    qint64 searchStore(const QByteArray &name, const QByteArray &query);
    // How many connections the server process holds on the bus.
    int serverBusConnections();
    // Restarts the server with another "Search/Timeout".
    void restartWithSearchTimeout(int timeoutMs);

    TestServer m_server;
    std::unique_ptr<AgentManagerPeer> m_agents;
    std::unique_ptr<SorvaniPeer> m_sorvani;
    std::unique_ptr<NotifyListener> m_listener;
    TestClient m_client;
    qint64 m_collection = -1;
    QList<qint64> m_items; // a, b, c, d, e
};

void SearchTest::initTestCase()
{
    QVERIFY2(m_server.prepare(), qPrintable(m_server.errorString()));
    m_server.environment().writeServerSettings(QStringLiteral("Search"), QStringLiteral("Timeout"), ShortTimeout);
    m_agents = std::make_unique<AgentManagerPeer>();
    m_sorvani = std::make_unique<SorvaniPeer>();
    QVERIFY(m_agents->registerOnBus());
    QVERIFY(m_sorvani->registerOnBus());
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    m_listener = std::make_unique<NotifyListener>(m_server.bus().address());

    QVERIFY(m_server.login(m_client, "searchclient"));
    TestClient resource;
    QVERIFY(m_server.login(resource, "res1"));
    m_collection = resource.create("\"Mail\" 0 (MIMETYPE (inode/directory text/plain))");
    QVERIFY(m_collection > 0);
    for (const char *text : {"alpha", "bravo", "charlie", "delta", "echo"}) {
        const qint64 id = resource.tvAppend(m_collection, "(PLD:RFC822 :" + number(qstrlen(text)) + ")", text);
        QVERIFY(id > 0);
        m_items.append(id);
    }
}

void SearchTest::cleanupTestCase()
{
    QCOMPARE(m_server.stop(), 0);
    // Only now: the server would take the agent manager's going for its control process leaving.
    m_agents.reset();
    m_sorvani.reset();
}

QList<qint64> SearchTest::linked(qint64 collection)
{
    return m_client.collectionItems(collection);
}

qint64 SearchTest::searchStore(const QByteArray &name, const QByteArray &query)
{
    const QList<QByteArray> answer = m_client.run("SEARCH_STORE \"" + name + "\" \"" + query + '"');
    ListingLine line;
    if (answer.size() != 2 || !line.parse(answer.first()) || !answer.last().endsWith(" OK SEARCH_STORE completed")) {
        qWarning() << answer;
        return -1;
    }
    return line.id;
}

int SearchTest::serverBusConnections()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    const QStringList names = bus->registeredServiceNames();
    int count = 0;
    for (const QString &name : names) {
        if (name.startsWith(QLatin1Char(':')) && bus->servicePid(name).value() == m_server.process().processId())
            ++count;
    }
    return count;
}

void SearchTest::searchLines_data()
{
    QTest::addColumn<QList<int>>("results"); // indexes into m_items; -1 an item that does not exist
    QTest::addColumn<QStringList>("junk");   // result URIs that name no item
    QTest::addColumn<QByteArray>("arguments");
    QTest::addColumn<QList<int>>("lines");

    QTest::newRow("nothing found, arguments skipped") << QList<int>() << QStringList() << QByteArray("FULLPAYLOAD (FLAGS)")
                                                      << QList<int>();
    QTest::newRow("ascending, each once, only items that exist")
        << QList<int>{3, 0, -1, 3, 1} << QStringList() << QByteArray("(UID)") << QList<int>{0, 1, 3};
    QTest::newRow("uris without an item id are skipped")
        << QList<int>{2} << QStringList{QStringLiteral("talvori:/items"), QStringLiteral("talvori:/items?item=abc")}
        << QByteArray("FULLPAYLOAD") << QList<int>{2};
    QTest::newRow("only junk") << QList<int>() << QStringList{QStringLiteral("talvori:/items?item=x")}
                               << QByteArray("(UID)") << QList<int>();
}

void SearchTest::searchLines()
{
    QFETCH(QList<int>, results);
    QFETCH(QStringList, junk);
    QFETCH(QByteArray, arguments);
    QFETCH(QList<int>, lines);

    QStringList uris = junk;
    for (const int index : results)
        uris.append(SorvaniPeer::itemUri(index < 0 ? 999999 : m_items.at(index)));
    m_sorvani->setResults(QStringLiteral("find"), uris);

    const QList<QByteArray> answer = m_client.run("SEARCH \"find\" " + arguments);
    QCOMPARE(answer.last().mid(answer.last().indexOf(' ') + 1), QByteArray("OK SEARCH completed"));
    QList<qint64> expected;
    for (const int index : lines)
        expected.append(m_items.at(index));
    QSet<QByteArray> words;
    QCOMPARE(itemIds(answer, &words), expected);
    if (expected.isEmpty())
        return;
    QCOMPARE(words, QSet<QByteArray>{"SEARCH"});

    // Each line is the UID FETCH line of the item with the other word.
    QByteArray set;
    for (const qint64 id : expected)
        set += (set.isEmpty() ? "" : ",") + number(id);
    QList<QByteArray> fetched = m_client.run("UID FETCH " + set + ' ' + arguments);
    fetched.removeLast();
    for (QByteArray &line : fetched)
        line.replace(line.indexOf(" FETCH "), 7, " SEARCH ");
    QCOMPARE(answer.mid(0, answer.size() - 1), fetched);
}

void SearchTest::searchFailures_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("empty query") << QByteArray("SEARCH \"\" (UID)") << QByteArray("NO No query specified");
    QTest::newRow("bad fetch argument") << QByteArray("SEARCH \"bad\" NOSUCHOPTION")
                                        << QByteArray("NO Invalid command argument");
}

void SearchTest::searchFailures()
{
    QFETCH(QByteArray, command);
    m_sorvani->setResults(QStringLiteral("bad"), {SorvaniPeer::itemUri(m_items.first())});
    QTEST(m_client.tagged(command), "answer");
    // The connection goes on with the next command.
    QVERIFY(m_client.runOk("CAPABILITY"));
}

void SearchTest::searchWaitsBounded_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QList<int>>("lines");

    QTest::newRow("service gone") << QStringLiteral("gone") << QList<int>();
    QTest::newRow("query never answered") << QStringLiteral("silent") << QList<int>();
    QTest::newRow("listing never finished") << QStringLiteral("endless") << QList<int>{0, 4};
}

void SearchTest::searchWaitsBounded()
{
    QFETCH(QString, condition);
    QFETCH(QList<int>, lines);

    m_sorvani->setResults(QStringLiteral("slow"), {SorvaniPeer::itemUri(m_items.at(4)), SorvaniPeer::itemUri(m_items.at(0))});
    if (condition == QLatin1String("gone"))
        m_sorvani->unregisterFromBus();
    m_sorvani->setAnswerQueries(condition != QLatin1String("silent"));
    m_sorvani->setFinishListing(condition != QLatin1String("endless"));
    m_sorvani->clearCalls();

    const QList<QByteArray> answer = m_client.run("SEARCH \"slow\" (UID)");

    m_sorvani->setAnswerQueries(true);
    m_sorvani->setFinishListing(true);
    if (condition == QLatin1String("gone"))
        QVERIFY(m_sorvani->registerOnBus());

    QVERIFY(answer.last().endsWith(" OK SEARCH completed"));
    QList<qint64> expected;
    for (const int index : lines)
        expected.append(m_items.at(index));
    QCOMPARE(itemIds(answer), expected);
    // A query that was opened is closed again once the search gives up on it.
    if (condition == QLatin1String("endless"))
        QTRY_VERIFY(m_sorvani->calls().contains(QStringLiteral("close(slow)")));
}

void SearchTest::searchWithVeryManyHits()
{
    // 100,000 ids, none next to another, so that no two make one range: far more terms than one
    // statement can take on any database. Among them the five items.
    QStringList uris;
    for (qint64 id = m_items.last() + 2; uris.size() < 100000 - m_items.size(); id += 2)
        uris.append(SorvaniPeer::itemUri(id));
    for (const qint64 id : std::as_const(m_items))
        uris.append(SorvaniPeer::itemUri(id));
    m_sorvani->setResults(QStringLiteral("many"), uris);

    // The service may take longer than the other tests' short wait to send that many, in a
    // sanitizer build on a busy machine.
    restartWithSearchTimeout(120000);
    m_client.setTimeout(120000);
    const QList<QByteArray> answer = m_client.run("SEARCH \"many\" (UID)");
    m_client.setTimeout(30000);
    QVERIFY2(answer.last().endsWith(" OK SEARCH completed"), answer.last().constData());
    QCOMPARE(itemIds(answer), m_items);
}

void SearchTest::restartWithSearchTimeout(int timeoutMs)
{
    m_client.disconnectFromServer();
    QCOMPARE(m_server.stop(), 0);
    m_server.environment().writeServerSettings(QStringLiteral("Search"), QStringLiteral("Timeout"), timeoutMs);
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
    QVERIFY(m_server.login(m_client, "searchclient"));
}

void SearchTest::searchReleasesBusConnections()
{
    m_sorvani->setResults(QStringLiteral("one"), {SorvaniPeer::itemUri(m_items.first())});
    const auto searchOnce = [this] {
        TestClient client;
        QVERIFY(m_server.login(client, "shortlived"));
        QCOMPARE(itemIds(client.run("SEARCH \"one\" (UID)")), QList<qint64>{m_items.first()});
        client.logout();
    };
    searchOnce();
    // The server's own, its main thread's query connection and item retrieval's.
    const int serverOwn = 3;
    QTRY_COMPARE(serverBusConnections(), serverOwn);
    for (int i = 0; i < 3; ++i)
        searchOnce();
    QTRY_COMPARE(serverBusConnections(), serverOwn);
}

// A hit whose payload is not cached is fetched from its resource, as FETCH would.
void SearchTest::searchRetrievesUncachedPayload()
{
    TestResource resource(QStringLiteral("res1"), m_server);
    QVERIFY2(resource.start(), qPrintable(resource.errorString()));
    TestClient owner;
    QVERIFY(m_server.login(owner, "res1"));
    const qint64 id = owner.tvAppend(m_collection, "(PLD:HEAD :4)", "head",
                                     "(\\MimeType[message/rfc822] \\RemoteId[uncached])");
    QVERIFY(id > 0);
    m_sorvani->setResults(QStringLiteral("uncached"), {SorvaniPeer::itemUri(id)});

    const QList<QByteArray> answer = m_client.run("SEARCH \"uncached\" FULLPAYLOAD");
    QCOMPARE(answer.size(), 2);
    QVERIFY2(answer.first().contains(resource.payloadFor(QStringLiteral("uncached"))), answer.first().constData());
    QCOMPARE(resource.deliveries().size(), 1);
    QCOMPARE(resource.deliveries().first().uid, id);
    resource.stop();
}

void SearchTest::searchStore()
{
    m_sorvani->setResults(QStringLiteral("stored"), {});
    m_agents->clearCalls();
    const QList<QByteArray> answer = m_client.run("SEARCH_STORE \"Stored\" \"stored\"");
    QCOMPARE(answer.size(), 2);
    QVERIFY(answer.last().endsWith(" OK SEARCH_STORE completed"));
    ListingLine line;
    QVERIFY(line.parse(answer.first()));

    const QList<ListingLine> roots = m_client.list("LIST 0 1 ()");
    const auto root = std::find_if(roots.cbegin(), roots.cend(), [](const ListingLine &l) {
        return l.name == QLatin1String("Search");
    });
    QVERIFY(root != roots.cend());
    QCOMPARE(line.parentId, root->id);
    QCOMPARE(line.name, QStringLiteral("Stored"));
    QCOMPARE(line.remoteId, QStringLiteral("stored"));
    QCOMPARE(line.resource, QStringLiteral("talvori_search_resource"));
    QCOMPARE(line.queryLanguage, QStringLiteral("SPARQL"));
    QCOMPARE(line.queryString, QStringLiteral("stored"));
    QList<QByteArray> types = line.mimeTypes;
    std::sort(types.begin(), types.end());
    // Every type the database knows (the schema's and those of the items above) but directories.
    QCOMPARE(types, (QList<QByteArray>{"application/octet-stream", "message/rfc822", "text/calendar", "text/plain",
                                       "text/vcard"}));
    QTRY_COMPARE(m_agents->calls(), QStringList{QStringLiteral("addSearch(stored,SPARQL,%1)").arg(line.id)});
    QTRY_VERIFY(m_sorvani->openQueries().contains(QStringLiteral("stored")));
}

void SearchTest::searchStoreFailures_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("empty name") << QByteArray("SEARCH_STORE \"\" \"q\"") << QByteArray("NO No name specified");
    QTest::newRow("empty query") << QByteArray("SEARCH_STORE \"Nameless\" \"\"") << QByteArray("NO No query specified");
    QTest::newRow("name taken") << QByteArray("SEARCH_STORE \"Taken\" \"other\"")
                                << QByteArray("NO Unable to create persistent search");
}

void SearchTest::searchStoreFailures()
{
    QFETCH(QByteArray, command);
    static const bool taken = searchStore("Taken", "taken") > 0;
    QVERIFY(taken);
    const int collections = m_client.list("LIST 0 INF ()").size();
    QTEST(m_client.tagged(command), "answer");
    QCOMPARE(m_client.list("LIST 0 INF ()").size(), collections);
    QVERIFY(!m_sorvani->openQueries().contains(QStringLiteral("other")));
}

void SearchTest::linksFollowService()
{
    const QList<qint64> &items = m_items;
    m_sorvani->setResults(QStringLiteral("follow"), {SorvaniPeer::itemUri(items.at(0)), SorvaniPeer::itemUri(items.at(1)),
                                                     SorvaniPeer::itemUri(999999)});
    m_listener->settle(200);
    const qint64 search = searchStore("Follow", "follow");
    QVERIFY(search > 0);
    QTRY_COMPARE(linked(search), (QList<qint64>{items.at(0), items.at(1)}));
    const int link = NotificationMessage::Link;
    const int unlink = NotificationMessage::Unlink;
    QTRY_VERIFY(itemRecords(m_listener->batches).size() >= 2);
    QCOMPARE(itemRecords(m_listener->settle()),
             (QList<QList<qint64>>{{link, items.at(0), search}, {link, items.at(1), search}}));

    // A result listed again (by the service) links nothing twice and announces nothing again.
    m_sorvani->addResults(QStringLiteral("follow"), {SorvaniPeer::itemUri(items.at(2)), SorvaniPeer::itemUri(items.at(0))});
    QTRY_COMPARE(linked(search), (QList<qint64>{items.at(0), items.at(1), items.at(2)}));
    QCOMPARE(itemRecords(m_listener->settle()), (QList<QList<qint64>>{{link, items.at(2), search}}));

    m_sorvani->removeResults(QStringLiteral("follow"), {SorvaniPeer::itemUri(items.at(0)), SorvaniPeer::itemUri(999999)});
    QTRY_COMPARE(linked(search), (QList<qint64>{items.at(1), items.at(2)}));
    QCOMPARE(itemRecords(m_listener->settle()), (QList<QList<qint64>>{{unlink, items.at(0), search}}));
}

void SearchTest::modifyAndDeleteAfterCommit()
{
    const QList<qint64> &items = m_items;
    m_sorvani->setResults(QStringLiteral("old"), {SorvaniPeer::itemUri(items.at(0)), SorvaniPeer::itemUri(items.at(1))});
    m_sorvani->setResults(QStringLiteral("new"), {SorvaniPeer::itemUri(items.at(3))});
    m_sorvani->setResults(QStringLiteral("never"), {SorvaniPeer::itemUri(items.at(4))});
    const qint64 search = searchStore("Changing", "old");
    QVERIFY(search > 0);
    QTRY_COMPARE(linked(search), (QList<qint64>{items.at(0), items.at(1)}));
    const QByteArray modify = "MODIFY " + number(search) + " PERSISTENTSEARCH \"(QUERYLANGUAGE SPARQL QUERYSTRING \\\"";
    const QByteArray end = "\\\")\"";

    // Rolled back: the engines never hear of it, and the links stay.
    m_listener->settle(200);
    m_sorvani->clearCalls();
    m_agents->clearCalls();
    QVERIFY(m_client.runOk("BEGIN"));
    QVERIFY(m_client.runOk(modify + "never" + end));
    QVERIFY(m_client.runOk("DELETE " + number(search)));
    QVERIFY(m_client.runOk("ROLLBACK"));
    QTest::qWait(300);
    QCOMPARE(m_sorvani->calls(), QStringList());
    QCOMPARE(m_agents->calls(), QStringList());
    QCOMPARE(linked(search), (QList<qint64>{items.at(0), items.at(1)}));
    QCOMPARE(itemRecords(m_listener->settle()), QList<QList<qint64>>());

    // Committed: the old links go with unlink notifications, the old query closes, the new runs.
    QVERIFY(m_client.runOk(modify + "new" + end));
    QTRY_COMPARE(linked(search), QList<qint64>{items.at(3)});
    QTRY_VERIFY(m_sorvani->calls().contains(QStringLiteral("close(old)")));
    QCOMPARE(m_sorvani->calls().filter(QStringLiteral("sparqlQuery")), QStringList{QStringLiteral("sparqlQuery(new)")});
    QTRY_COMPARE(m_agents->calls(), (QStringList{QStringLiteral("removeSearch(%1)").arg(search),
                                                 QStringLiteral("addSearch(new,SPARQL,%1)").arg(search)}));
    const int link = NotificationMessage::Link;
    const int unlink = NotificationMessage::Unlink;
    QTest::qWait(300);
    const QList<QList<qint64>> records = itemRecords(m_listener->settle());
    QCOMPARE(records, (QList<QList<qint64>>{{link, items.at(3), search}, {unlink, items.at(0), search},
                                            {unlink, items.at(1), search}}));

    m_sorvani->clearCalls();
    m_agents->clearCalls();
    QVERIFY(m_client.runOk("DELETE " + number(search)));
    QTRY_VERIFY(m_sorvani->calls().contains(QStringLiteral("close(new)")));
    QTRY_COMPARE(m_agents->calls(), QStringList{QStringLiteral("removeSearch(%1)").arg(search)});
}

void SearchTest::restartBringsSearchesBack()
{
    const QList<qint64> &items = m_items;
    m_sorvani->setResults(QStringLiteral("lasting"), {SorvaniPeer::itemUri(items.at(2))});
    const qint64 search = searchStore("Lasting", "lasting");
    QVERIFY(search > 0);
    QTRY_COMPARE(linked(search), QList<qint64>{items.at(2)});

    QCOMPARE(m_server.stop(), 0);
    m_sorvani->clearCalls();
    m_sorvani->addResults(QStringLiteral("lasting"), {SorvaniPeer::itemUri(items.at(4))});
    m_client.disconnectFromServer();
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
    QVERIFY(m_server.login(m_client, "searchclient"));
    m_listener = std::make_unique<NotifyListener>(m_server.bus().address());
    QTRY_COMPARE(linked(search), (QList<qint64>{items.at(2), items.at(4)}));
    QVERIFY(m_sorvani->calls().contains(QStringLiteral("sparqlQuery(lasting)")));

    // The service coming back opens every search anew; links already there are not announced.
    m_listener->settle(300);
    m_sorvani->unregisterFromBus();
    m_sorvani->clearCalls();
    QVERIFY(m_sorvani->registerOnBus());
    QTRY_VERIFY(m_sorvani->calls().contains(QStringLiteral("list(lasting)")));
    QCOMPARE(itemRecords(m_listener->settle()), QList<QList<qint64>>());
}

QTEST_GUILESS_MAIN(SearchTest)
#include "tst_search.moc"

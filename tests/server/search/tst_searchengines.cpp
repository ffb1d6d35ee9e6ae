// The search engines one by one, as "Search/Manager" chooses them, with each peer on the test's
// bus: which peers hear of a persistent search, the Xesam engine's searches and links, a start-up
// that does not wait for peers that never answer, and a search root that is not collection 1.

#include "agentmanagerpeer.h"
#include "notifylistener.h"
#include "sorvanipeer.h"
#include "testclient.h"
#include "testbus.h"
#include "testserver.h"
#include "xesampeer.h"

#include <listingline.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

} // namespace

class SearchEnginesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void engineWords_data();
    void engineWords();
    void xesamSearches();
    void startupDoesNotWaitForPeers();
    void searchRootFoundByName();

private:
    bool start(const QVariant &engines);
    qint64 searchStore(const QByteArray &name, const QByteArray &query, QString *language = nullptr);
    QList<qint64> linked(qint64 collection);
    qint64 appendItem();

    // One bus and one set of peers; a new server with a home of its own for every test.
    QTemporaryDir m_busDir;
    TestBus m_bus;
    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<AgentManagerPeer> m_agents;
    std::unique_ptr<SorvaniPeer> m_sorvani;
    std::unique_ptr<XesamPeer> m_xesam;
    TestClient m_client;
    qint64 m_collection = -1;
};

void SearchEnginesTest::initTestCase()
{
    QVERIFY(m_busDir.isValid());
    QVERIFY(m_bus.start(m_busDir.path()));
    m_agents = std::make_unique<AgentManagerPeer>();
    m_sorvani = std::make_unique<SorvaniPeer>();
    m_xesam = std::make_unique<XesamPeer>();
    QVERIFY(m_agents->registerOnBus());
    QVERIFY(m_sorvani->registerOnBus());
    QVERIFY(m_xesam->registerOnBus());
}

void SearchEnginesTest::cleanupTestCase()
{
    // The agent manager owns the control service: it goes only once no server runs.
    m_agents.reset();
    m_sorvani.reset();
    m_xesam.reset();
}

void SearchEnginesTest::init()
{
    m_server = std::make_unique<TestServer>(m_bus, QStringLiteral("QSQLITE3"));
    QVERIFY2(m_server->prepare(), qPrintable(m_server->errorString()));
    for (BusPeer *peer : {static_cast<BusPeer *>(m_agents.get()), static_cast<BusPeer *>(m_sorvani.get()),
                          static_cast<BusPeer *>(m_xesam.get())})
        peer->clearCalls();
    m_sorvani->setAnswerQueries(true);
    m_xesam->setAnswerSession(true);
}

void SearchEnginesTest::cleanup()
{
    m_client.disconnectFromServer();
    m_server.reset();
    m_collection = -1;
}

bool SearchEnginesTest::start(const QVariant &engines)
{
    m_client.disconnectFromServer();
    if (engines.isValid())
        m_server->environment().writeServerSettings(QStringLiteral("Search"), QStringLiteral("Manager"), engines);
    if (!m_server->start({QStringLiteral("res1")})) {
        qWarning() << m_server->errorString();
        return false;
    }
    return m_server->login(m_client, "engineclient");
}

qint64 SearchEnginesTest::searchStore(const QByteArray &name, const QByteArray &query, QString *language)
{
    const QList<QByteArray> answer = m_client.run("SEARCH_STORE \"" + name + "\" \"" + query + '"');
    ListingLine line;
    if (answer.size() != 2 || !line.parse(answer.first()))
        return -1;
    if (language)
        *language = line.queryLanguage;
    return line.id;
}

QList<qint64> SearchEnginesTest::linked(qint64 collection)
{
    return m_client.collectionItems(collection);
}

qint64 SearchEnginesTest::appendItem()
{
    TestClient resource;
    if (!m_server->login(resource, "res1"))
        return -1;
    if (m_collection < 0)
        m_collection = resource.create("\"Mail\" 0 (MIMETYPE (inode/directory text/plain))");
    return resource.tvAppend(m_collection, "(PLD:RFC822 :4)", "item");
}

void SearchEnginesTest::engineWords_data()
{
    QTest::addColumn<QVariant>("engines");
    QTest::addColumn<bool>("sorvani");
    QTest::addColumn<bool>("agent");
    QTest::addColumn<bool>("xesam");
    // The query language SEARCH_STORE gives the search.
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("logged");

    const QString sparql = QStringLiteral("SPARQL");
    const QString local = QStringLiteral("XAPIAN");
    QTest::newRow("default") << QVariant() << true << true << false << sparql << QByteArray();
    QTest::newRow("Sorvani") << QVariant(QStringList{QStringLiteral("Sorvani")}) << true << false << false << sparql
                             << QByteArray();
    QTest::newRow("Agent") << QVariant(QStringList{QStringLiteral("Agent")}) << false << true << false << sparql
                           << QByteArray();
    QTest::newRow("Xesam") << QVariant(QStringList{QStringLiteral("Xesam")}) << false << false << true << sparql
                           << QByteArray();
    QTest::newRow("Local: searches of its own language, which the others leave alone")
        << QVariant(QStringList{QStringLiteral("Sorvani"), QStringLiteral("Local"), QStringLiteral("Xesam")}) << false
        << false << true << local << QByteArray();
    QTest::newRow("Local with Agent") << QVariant(QStringList{QStringLiteral("Local"), QStringLiteral("Agent")})
                                      << false << true << false << local << QByteArray();
    QTest::newRow("Local twice") << QVariant(QStringList{QStringLiteral("Local"), QStringLiteral("Local")}) << false
                                 << false << false << local
                                 << QByteArray("Search engine type given twice, the second is skipped: Local");
    QTest::newRow("unknown word skipped")
        << QVariant(QStringList{QStringLiteral("agent"), QStringLiteral("Agent")}) << false << true << false << sparql
        << QByteArray("Unknown search engine type: agent");
    QTest::newRow("none") << QVariant(QString()) << false << false << false << sparql << QByteArray();
}

void SearchEnginesTest::engineWords()
{
    QFETCH(QVariant, engines);
    QFETCH(bool, sorvani);
    QFETCH(bool, agent);
    QFETCH(bool, xesam);
    QFETCH(QString, language);
    QFETCH(QByteArray, logged);

    QVERIFY(start(engines));
    const qint64 item = appendItem();
    m_sorvani->setResults(QStringLiteral("words"), {SorvaniPeer::itemUri(item)});
    QString stored;
    const qint64 search = searchStore("Words", "words", &stored);
    QVERIFY(search > 0);
    QCOMPARE(stored, language);

    // The engines that take the search see it in their own time (a slow build takes seconds);
    // the others have had at least as long once those have, and half a second besides.
    const auto sorvaniCalled = [&] { return m_sorvani->calls().contains(QStringLiteral("sparqlQuery(words)")); };
    const auto agentCalled = [&] {
        return m_agents->calls().contains(QStringLiteral("addSearch(words,%1,%2)").arg(language).arg(search));
    };
    const auto xesamCalled = [&] { return m_xesam->calls().contains(QStringLiteral("NewSession()")); };
    QTRY_VERIFY_WITH_TIMEOUT(!sorvani || sorvaniCalled(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!agent || agentCalled(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!xesam || xesamCalled(), 10000);
    QTest::qWait(500);
    QCOMPARE(sorvaniCalled(), sorvani);
    QCOMPARE(linked(search), sorvani ? QList<qint64>{item} : QList<qint64>());
    QCOMPARE(agentCalled(), agent);
    QCOMPARE(xesamCalled(), xesam);
    if (!logged.isEmpty())
        QVERIFY2(m_server->errorLog().contains(logged), m_server->errorLog().constData());
}

void SearchEnginesTest::xesamSearches()
{
    QVERIFY(start(QStringList{QStringLiteral("Xesam")}));
    const qint64 a = appendItem();
    const qint64 b = appendItem();
    const qint64 c = appendItem();
    QVERIFY(a > 0 && b > 0 && c > 0);
    m_xesam->setHits(QStringLiteral("xesam one"), {QString::number(a), QStringLiteral("file:///not/an/item"),
                                                   QString::number(b), QStringLiteral("0")});
    m_xesam->setHits(QStringLiteral("xesam two"), {QString::number(c)});

    // Stored as SPARQL, which this engine leaves alone; then made a Xesam search, whose query
    // (not the remote id the collection kept) is what runs.
    const qint64 search = searchStore("Xesam", "sparql text");
    QVERIFY(search > 0);
    NotifyListener listener(m_server->bus().address());
    listener.settle(200);
    const QByteArray modify = "MODIFY " + number(search) + " PERSISTENTSEARCH \"(QUERYLANGUAGE XESAM QUERYSTRING \\\"";
    QVERIFY(m_client.runOk(modify + "xesam one\\\")\""));
    QTRY_COMPARE(linked(search), (QList<qint64>{a, b}));
    QVERIFY(m_xesam->calls().contains(QStringLiteral("NewSearch(xesam one)")));
    QVERIFY(m_xesam->calls().filter(QStringLiteral("sparql text")).isEmpty());
    QCOMPARE(m_xesam->calls().filter(QStringLiteral("SetProperty")),
             (QStringList{QStringLiteral("SetProperty(search.live,true)"),
                          QStringLiteral("SetProperty(search.blocking,false)")}));

    // Hits that come and go while the search runs.
    m_xesam->addHits(QStringLiteral("xesam one"), {QString::number(c)});
    QTRY_COMPARE(linked(search), (QList<qint64>{a, b, c}));
    m_xesam->removeHits(QStringLiteral("xesam one"), {QString::number(a)});
    QTRY_COMPARE(linked(search), (QList<qint64>{b, c}));
    // This engine's links are not announced; only the MODIFY itself was.
    for (const NotificationMessage::List &batch : listener.settle()) {
        for (const NotificationMessage &message : batch)
            QCOMPARE(message.type(), int(NotificationMessage::Collection));
    }

    // A new query ends the old search at the service.
    m_xesam->clearCalls();
    QVERIFY(m_client.runOk(modify + "xesam two\\\")\""));
    QTRY_COMPARE(linked(search), QList<qint64>{c});
    QTRY_VERIFY(m_xesam->calls().contains(QStringLiteral("CloseSearch(xesam one)")));

    // A restart starts the searches of the search resource again.
    QCOMPARE(m_server->stop(), 0);
    m_xesam->clearCalls();
    QVERIFY(start(QStringList{QStringLiteral("Xesam")}));
    QTRY_VERIFY(m_xesam->calls().contains(QStringLiteral("StartSearch(xesam two)")));

    m_xesam->clearCalls();
    QVERIFY(m_client.runOk("DELETE " + number(search)));
    QTRY_VERIFY(m_xesam->calls().contains(QStringLiteral("CloseSearch(xesam two)")));
    QCOMPARE(m_server->stop(), 0);
    QVERIFY(m_xesam->calls().contains(QStringLiteral("CloseSession()")));
}

void SearchEnginesTest::startupDoesNotWaitForPeers()
{
    // A search for each engine to reopen at start-up, at peers that then never answer.
    QVERIFY(start(QStringList{QStringLiteral("Sorvani"), QStringLiteral("Xesam"), QStringLiteral("Agent")}));
    QVERIFY(searchStore("Waiting", "waiting") > 0);
    QCOMPARE(m_server->stop(), 0);
    m_sorvani->setAnswerQueries(false);
    m_xesam->setAnswerSession(false);
    m_sorvani->clearCalls();
    QVERIFY(start(QVariant()));
    QTRY_VERIFY(m_sorvani->calls().contains(QStringLiteral("sparqlQuery(waiting)")));

    // The main thread answers its bus objects at once, well before a call it had waited for would
    // have timed out (25 s).
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/debug"),
                                                       QStringLiteral("org.freedesktop.Talvori.DebugInterface"),
                                                       QStringLiteral("tracer"));
    const QDBusMessage answer = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    QCOMPARE(answer.type(), QDBusMessage::ReplyMessage);
    // And so do its commands, a new search included.
    QVERIFY(searchStore("Meanwhile", "meanwhile") > 0);
}

void SearchEnginesTest::searchRootFoundByName()
{
    QVERIFY(start(QStringList{QStringLiteral("Sorvani")}));
    QCOMPARE(m_server->stop(), 0);
    {
        // As a database filled another way might have them: the search resource and its root with
        // other ids, and an ordinary collection of another resource as collection 1.
        QSqlDatabase db = m_server->addDatabaseConnection(QStringLiteral("admin"));
        QVERIFY(db.open());
        QSqlQuery query(db);
        for (const char *statement :
             {"UPDATE ResourceTable SET id = 40 WHERE name = 'talvori_search_resource'",
              "UPDATE CollectionTable SET id = 50, resourceId = 40 WHERE name = 'Search' AND parentId IS NULL",
              "INSERT INTO ResourceTable (id, name, isVirtual) VALUES (1, 'other', 0)",
              "INSERT INTO CollectionTable (id, name, resourceId, subscribed, cachePolicyInherit, "
              "cachePolicyCheckInterval, cachePolicyCacheTimeout, cachePolicySyncOnDemand) "
              "VALUES (1, 'Ordinary', 1, 1, 1, -1, -1, 0)"})
            QVERIFY2(query.exec(QString::fromLatin1(statement)), qPrintable(query.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));
    QVERIFY(start(QVariant()));
    const QList<QByteArray> answer = m_client.run("SEARCH_STORE \"Rooted\" \"rooted\"");
    ListingLine line;
    QVERIFY(line.parse(answer.first()));
    QCOMPARE(line.parentId, qint64(50));
    QCOMPARE(line.resource, QStringLiteral("talvori_search_resource"));
}

QTEST_GUILESS_MAIN(SearchEnginesTest)
#include "tst_searchengines.moc"

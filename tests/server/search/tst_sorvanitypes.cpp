// The semantic query service's wire types as the server reads and writes them: item ids from
// result URIs, results and their nodes through a real bus (each kind of node there and back), and
// what a query client relays from the service peer, whose own encoding is independent of the
// server's.

#include "search/queryserviceclient.h"
#include "search/sorvaniresult.h"
#include "search/sorvanitypes.h"
#include "sorvanipeer.h"
#include "testbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Sorvani::Search::QueryServiceClient;
using Sorvani::Search::Result;

// Receives results on one bus connection, as the server's proxies do.
class ResultSink : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.Sink")
public:
    QList<Result> received;

public Q_SLOTS:
    Q_SCRIPTABLE void take(const QList<Sorvani::Search::Result> &results) { received = results; }
};

class SorvaniTypesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void itemIds_data();
    void itemIds();
    void nodesThereAndBack();
    void clientRelaysResults();

private:
    QTemporaryDir m_dir;
    TestBus m_bus;
};

void SorvaniTypesTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_bus.start(m_dir.path()));
    SorvaniTypes::registerTypes();
}

void SorvaniTypesTest::itemIds_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<qint64>("id");

    QTest::newRow("item") << QStringLiteral("talvori:/items?item=42") << qint64(42);
    QTest::newRow("among other items") << QStringLiteral("talvori:/items?x=1&item=7&y=2") << qint64(7);
    QTest::newRow("64-bit") << QStringLiteral("talvori:/items?item=8589934593") << qint64(8589934593);
    QTest::newRow("not a number") << QStringLiteral("talvori:/items?item=abc") << qint64(-1);
    QTest::newRow("empty") << QStringLiteral("talvori:/items?item=") << qint64(-1);
    QTest::newRow("no query item") << QStringLiteral("talvori:/items/42") << qint64(-1);
}

void SorvaniTypesTest::itemIds()
{
    QFETCH(QString, uri);
    QTEST(Result(QUrl(uri)).itemId(), "id");
}

void SorvaniTypesTest::nodesThereAndBack()
{
    const QUrl integer(QStringLiteral("http://www.w3.org/2001/XMLSchema#int"));
    Result result(QUrl(QStringLiteral("talvori:/items?item=5&name=a%20b")), 0.5);
    const QList<std::pair<QUrl, Tresilo::Node>> properties = {
        {QUrl(QStringLiteral("p:resource")), Tresilo::Node(QUrl(QStringLiteral("http://example.org/a%20b")))},
        {QUrl(QStringLiteral("p:plain")), Tresilo::Node(Tresilo::LiteralValue::createPlainLiteral(
                                              QStringLiteral("Grüße"), Tresilo::LanguageTag(QStringLiteral("de"))))},
        {QUrl(QStringLiteral("p:typed")), Tresilo::Node(Tresilo::LiteralValue::fromString(QStringLiteral("7"), integer))},
        {QUrl(QStringLiteral("p:blank")), Tresilo::Node(QStringLiteral("b1"))},
        {QUrl(QStringLiteral("p:empty")), Tresilo::Node()},
    };
    for (const auto &[property, node] : properties)
        result.addRequestProperty(property, node);

    QDBusConnection receiver = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("receiver"));
    QDBusConnection sender = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("sender"));
    ResultSink sink;
    QVERIFY(receiver.registerObject(QStringLiteral("/sink"), &sink, QDBusConnection::ExportScriptableSlots));
    QDBusMessage call = QDBusMessage::createMethodCall(receiver.baseService(), QStringLiteral("/sink"),
                                                       QStringLiteral("org.example.Sink"), QStringLiteral("take"));
    call.setArguments({QVariant::fromValue(QList<Result>{result})});
    sender.asyncCall(call);
    QTRY_COMPARE(sink.received.size(), 1);

    const Result back = sink.received.first();
    QCOMPARE(back.resourceUri(), result.resourceUri());
    QCOMPARE(back.score(), 0.5);
    QCOMPARE(back.requestProperties(), result.requestProperties());
    QDBusConnection::disconnectFromBus(QStringLiteral("sender"));
    QDBusConnection::disconnectFromBus(QStringLiteral("receiver"));
}

void SorvaniTypesTest::clientRelaysResults()
{
    SorvaniPeer peer;
    QVERIFY(peer.registerOnBus());
    peer.setResults(QStringLiteral("q"), {SorvaniPeer::itemUri(3), SorvaniPeer::itemUri(9)});

    QueryServiceClient client;
    QSignalSpy entries(&client, &QueryServiceClient::newEntries);
    QSignalSpy finished(&client, &QueryServiceClient::finishedListing);
    QVERIFY(client.query(QStringLiteral("q")));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(entries.size(), 1);
    const QList<Result> results = entries.first().first().value<QList<Result>>();
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).itemId(), qint64(3));
    QCOMPARE(results.at(1).itemId(), qint64(9));
    const Tresilo::Node title = results.at(0).requestProperties().value(QUrl(QStringLiteral("http://example.org/title")));
    QCOMPARE(title.type(), Tresilo::Node::LiteralNode);
    QCOMPARE(title.toString(), QStringLiteral("Titel"));
    QCOMPARE(title.language().toString(), QStringLiteral("de"));

    QSignalSpy removed(&client, &QueryServiceClient::entriesRemoved);
    peer.removeResults(QStringLiteral("q"), {SorvaniPeer::itemUri(9)});
    QTRY_COMPARE(removed.size(), 1);
    QCOMPARE(removed.first().first().value<QList<QUrl>>(), QList<QUrl>{QUrl(SorvaniPeer::itemUri(9))});

    client.close();
    QTRY_VERIFY(peer.calls().contains(QStringLiteral("close(q)")));
    QVERIFY(peer.openQueries().isEmpty());
}

QTEST_GUILESS_MAIN(SorvaniTypesTest)
#include "tst_sorvanitypes.moc"

#include "localhttpserver.h"
#include "lookupaltitudegeonames.h"
#include "lookupfactory.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QUrlQuery>

using namespace Pindo;

namespace {

// Answers srtm3 queries with lat*10 + lon, or the given text for every query.
LocalHttpServer::Answer heightsFor(const QUrl &url)
{
    const QUrlQuery query(url);
    const QStringList lats = query.queryItemValue(QStringLiteral("lats")).split(QLatin1Char(','));
    const QStringList lons = query.queryItemValue(QStringLiteral("lngs")).split(QLatin1Char(','));
    QByteArray body;
    for (int i = 0; i < lats.size(); ++i) {
        const double lat = lats.at(i).toDouble();
        // Places at latitude -1 are over the sea.
        const double height = lat == -1.0 ? -32768 : lat * 10 + lons.value(i).toDouble();
        body += QByteArray::number(height) + "\r\n";
    }
    return {200, body};
}

QList<LookupAltitude::Request> requestsAt(const QList<QPair<double, double>> &places)
{
    QList<LookupAltitude::Request> requests;
    for (int i = 0; i < places.size(); ++i) {
        LookupAltitude::Request request;
        request.coordinates = GeoCoordinates(places.at(i).first, places.at(i).second);
        request.data = i;
        requests.append(request);
    }
    return requests;
}

} // namespace

class TestLookupAltitude : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void factory();
    void heightsComeBackInBatches();
    void failures_data();
    void failures();
    void unreachableService();
    void cancel();
};

void TestLookupAltitude::factory()
{
    QObject parent;
    LookupAltitude *lookup = LookupFactory::getAltitudeLookup(QStringLiteral("geonames"), &parent);
    QVERIFY(lookup);
    QCOMPARE(lookup->backendName(), QStringLiteral("geonames"));
    QCOMPARE(lookup->parent(), &parent);
    QVERIFY(!LookupFactory::getAltitudeLookup(QStringLiteral("osm"), &parent));
}

// 23 requests over 21 distinct places: two HTTP requests (20 + 1 places), duplicates asked once,
// places without data left without altitude.
void TestLookupAltitude::heightsComeBackInBatches()
{
    LocalHttpServer server;
    QVERIFY(server.start());
    server.setResponder(heightsFor);

    QList<QPair<double, double>> places;
    for (int i = 0; i < 20; ++i) {
        places.append({double(i), 0.5});
    }
    places.append({3.0, 0.5});  // same place as request 3
    places.append({-1.0, 7.0}); // over the sea
    places.append({3.0, 0.5});
    LookupAltitudeGeonames lookup;
    lookup.setBaseUrl(server.baseUrl());
    QSignalSpy ready(&lookup, &LookupAltitude::signalRequestsReady);
    QSignalSpy done(&lookup, &LookupAltitude::signalDone);
    lookup.addRequests(requestsAt(places));
    lookup.startLookup();
    QVERIFY(done.wait(10000));
    QCOMPARE(done.size(), 1);
    QCOMPARE(lookup.getStatus(), LookupAltitude::StatusSuccess);
    QVERIFY(lookup.errorMessage().isEmpty());

    QCOMPARE(server.requests().size(), 2);
    const QUrlQuery first(server.requests().first());
    QCOMPARE(server.requests().first().path(), QStringLiteral("/srtm3"));
    QCOMPARE(first.queryItemValue(QStringLiteral("lats")).split(QLatin1Char(',')).size(), 20);
    QVERIFY(!first.queryItemValue(QStringLiteral("username")).isEmpty());

    QList<int> readyNumbers;
    for (const QList<QVariant> &signal : ready) {
        readyNumbers += signal.first().value<QList<int>>();
    }
    std::sort(readyNumbers.begin(), readyNumbers.end());
    QList<int> expected;
    for (int i = 0; i < 23; ++i) {
        if (i != 21) {
            expected.append(i);
        }
    }
    QCOMPARE(readyNumbers, expected);
    for (int i : expected) {
        const LookupAltitude::Request request = lookup.getRequest(i);
        QVERIFY(request.success);
        QCOMPARE(request.data.toInt(), i);
        QCOMPARE(request.coordinates.alt(), places.at(i).first * 10 + 0.5);
    }
    QVERIFY(!lookup.getRequest(21).coordinates.hasAltitude());
    QVERIFY(!lookup.getRequest(21).success);
}

void TestLookupAltitude::failures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("server error") << 500 << QByteArray("oops") << "could not be reached";
    QTest::newRow("account refused") << 200 << QByteArray("{\"status\":{\"message\":\"user does not exist.\"}}")
                                     << "user does not exist";
    QTest::newRow("too few heights") << 200 << QByteArray("12\n") << "1 heights for 2 places";
    QTest::newRow("empty answer") << 200 << QByteArray() << "0 heights for 2 places";
}

void TestLookupAltitude::failures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, messagePart);
    LocalHttpServer server;
    QVERIFY(server.start());
    server.setResponder([&](const QUrl &) { return LocalHttpServer::Answer{status, body}; });

    LookupAltitudeGeonames lookup;
    lookup.setBaseUrl(server.baseUrl());
    QSignalSpy ready(&lookup, &LookupAltitude::signalRequestsReady);
    QSignalSpy done(&lookup, &LookupAltitude::signalDone);
    lookup.addRequests(requestsAt({{1, 2}, {3, 4}}));
    lookup.startLookup();
    QVERIFY(done.wait(10000));
    QCOMPARE(lookup.getStatus(), LookupAltitude::StatusError);
    QVERIFY2(lookup.errorMessage().contains(messagePart), qPrintable(lookup.errorMessage()));
    QVERIFY(ready.isEmpty());
    QVERIFY(!lookup.getRequest(0).coordinates.hasAltitude());
}

void TestLookupAltitude::unreachableService()
{
    // A port that was just free: nobody listens there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();

    LookupAltitudeGeonames lookup;
    lookup.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    QSignalSpy done(&lookup, &LookupAltitude::signalDone);
    lookup.addRequests(requestsAt({{1, 2}}));
    lookup.startLookup();
    QVERIFY(done.wait(10000));
    QCOMPARE(lookup.getStatus(), LookupAltitude::StatusError);
    QVERIFY(lookup.errorMessage().contains(QLatin1String("could not be reached")));

    // An empty lookup also ends, after startLookup() returned.
    LookupAltitudeGeonames empty;
    QSignalSpy emptyDone(&empty, &LookupAltitude::signalDone);
    empty.startLookup();
    QCOMPARE(emptyDone.size(), 0);
    QVERIFY(emptyDone.wait(5000));
    QCOMPARE(empty.getStatus(), LookupAltitude::StatusSuccess);
}

void TestLookupAltitude::cancel()
{
    LocalHttpServer server;
    QVERIFY(server.start());
    server.setResponder(heightsFor);
    server.setHold(true);
    LookupAltitudeGeonames lookup;
    lookup.setBaseUrl(server.baseUrl());
    QSignalSpy ready(&lookup, &LookupAltitude::signalRequestsReady);
    QSignalSpy done(&lookup, &LookupAltitude::signalDone);
    lookup.addRequests(requestsAt({{1, 2}}));
    lookup.startLookup();
    QTRY_COMPARE(server.pendingCount(), 1);
    lookup.cancel();
    QCOMPARE(done.size(), 1);
    QCOMPARE(lookup.getStatus(), LookupAltitude::StatusCanceled);
    server.release();
    QTest::qWait(100);
    QVERIFY(ready.isEmpty());
    QCOMPARE(done.size(), 1);
}

QTEST_GUILESS_MAIN(TestLookupAltitude)
#include "tst_lookupaltitude.moc"

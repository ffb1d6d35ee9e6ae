#include "geocoordinates.h"

#include <QTest>
#include <QVariant>

using Pindo::GeoCoordinates;

class TestGeoCoordinates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void format_data();
    void format();
    void metaType();
};

void TestGeoCoordinates::parse_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<bool>("hasAlt");
    QTest::addColumn<double>("alt");

    QTest::newRow("with altitude") << "geo:51.06711205,6.90020261667,43" << true << 51.06711205 << 6.90020261667 << true << 43.0;
    QTest::newRow("without altitude") << "geo:-33.5,-70.25" << true << -33.5 << -70.25 << false << 0.0;
    QTest::newRow("parameters ignored") << "geo:48.2,16.37;u=40" << true << 48.2 << 16.37 << false << 0.0;
    QTest::newRow("upper-case scheme, spaces") << " GEO: 1.5 , 2.5 ,-3 " << true << 1.5 << 2.5 << true << -3.0;
    QTest::newRow("poles and date line") << "geo:-90,180" << true << -90.0 << 180.0 << false << 0.0;
    QTest::newRow("no scheme") << "51.0,6.8" << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("one number") << "geo:51.0" << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("four numbers") << "geo:1,2,3,4" << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("not a number") << "geo:north,6.8" << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("empty part") << "geo:51.0," << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("latitude off the globe") << "geo:90.5,0" << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("longitude off the globe") << "geo:0,-180.01" << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("infinite altitude") << "geo:0,0,inf" << false << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0 << 0.0 << false << 0.0;
}

void TestGeoCoordinates::parse()
{
    QFETCH(QString, url);
    QFETCH(bool, ok);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(bool, hasAlt);
    QFETCH(double, alt);

    bool parsed = !ok;
    const GeoCoordinates coordinates = GeoCoordinates::fromGeoUrl(url, &parsed);
    QCOMPARE(parsed, ok);
    QCOMPARE(coordinates.hasCoordinates(), ok);
    if (!ok) {
        QVERIFY(coordinates.geoUrl().isEmpty());
        return;
    }
    QCOMPARE(coordinates.lat(), lat);
    QCOMPARE(coordinates.lon(), lon);
    QCOMPARE(coordinates.hasAltitude(), hasAlt);
    if (hasAlt) {
        QCOMPARE(coordinates.alt(), alt);
    }
}

void TestGeoCoordinates::format_data()
{
    QTest::addColumn<QString>("url");
    // The demo's own points must come back exactly as written.
    QTest::newRow("twelve digits") << "geo:51.0913031421,6.88878178596,44";
    QTest::newRow("decimal altitude") << "geo:51.0889433167,6.88000331667,39.6";
    QTest::newRow("south west") << "geo:-0.3713,-119.52988333";
    QTest::newRow("below sea") << "geo:50.86259892,4.67254214,-8";
}

void TestGeoCoordinates::format()
{
    QFETCH(QString, url);
    bool ok = false;
    const GeoCoordinates coordinates = GeoCoordinates::fromGeoUrl(url, &ok);
    QVERIFY(ok);
    QCOMPARE(coordinates.geoUrl(), url);
    GeoCoordinates copy = coordinates;
    QCOMPARE(copy, coordinates);
    copy.clearAlt();
    QVERIFY(copy.sameLonLatAs(coordinates));
    QCOMPARE(copy == coordinates, !coordinates.hasAltitude());
    QVERIFY(GeoCoordinates().geoUrl().isEmpty());
}

void TestGeoCoordinates::metaType()
{
    GeoCoordinates::registerMetaType();
    const QMetaType type = QMetaType::fromName("Pindo::GeoCoordinates");
    QVERIFY(type.isValid());
    QCOMPARE(type, QMetaType::fromType<GeoCoordinates>());

    const QVariant value = QVariant::fromValue(GeoCoordinates(1.0, 2.0, 3.0));
    QVERIFY(value.canConvert<GeoCoordinates>());
    QCOMPARE(value.value<GeoCoordinates>(), GeoCoordinates(1.0, 2.0, 3.0));
    QVERIFY(!QVariant(QStringLiteral("geo:1,2")).canConvert<GeoCoordinates>());
    QVERIFY(!QVariant().canConvert<GeoCoordinates>());
}

QTEST_GUILESS_MAIN(TestGeoCoordinates)
#include "tst_geocoordinates.moc"

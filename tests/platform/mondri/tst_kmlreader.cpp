// The KML reader and the tree model over what it reads.

#include "geodatadocument.h"
#include "geodatafolder.h"
#include "geodatalinearring.h"
#include "geodatamultigeometry.h"
#include "geodataplacemark.h"
#include "geodatapoint.h"
#include "geodatapolygon.h"
#include "geodatatreemodel.h"
#include "kmlreader.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace Mondri;

class TestKmlReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void colors_data();
    void colors();
    void structure();
    void styles();
    void styleUrls_data();
    void styleUrls();
    void malformed_data();
    void malformed();
    void treeModel();
    void realFiles_data();
    void realFiles();

private:
    static std::unique_ptr<GeoDataDocument> read(const QByteArray &kml)
    {
        KmlReader reader;
        auto document = reader.read(kml);
        if (!document)
            qWarning("unexpected error: %s", qPrintable(reader.errorString()));
        return document;
    }
};

void TestKmlReader::colors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QColor>("color");
    // aabbggrr: the byte order is the reverse of the usual #aarrggbb.
    QTest::newRow("opaque red") << "ff0000ff" << true << QColor(255, 0, 0, 255);
    QTest::newRow("half blue") << "80ff0000" << true << QColor(0, 0, 255, 128);
    QTest::newRow("all channels differ") << "4058eeff" << true << QColor(0xff, 0xee, 0x58, 0x40);
    QTest::newRow("upper case, blanks") << "  FF9F3F30 " << true << QColor(0x30, 0x3f, 0x9f, 0xff);
    QTest::newRow("leading hash") << "#7f00ff00" << true << QColor(0, 255, 0, 0x7f);
    QTest::newRow("six digits") << "00ff00" << false << QColor();
    QTest::newRow("not hex") << "ff00zz00" << false << QColor();
    QTest::newRow("empty") << "" << false << QColor();
}

void TestKmlReader::colors()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QColor, color);
    QColor parsed;
    QCOMPARE(KmlReader::parseColor(text, &parsed), valid);
    if (valid)
        QCOMPARE(parsed, color);
}

void TestKmlReader::structure()
{
    auto document = read(R"(<?xml version="1.0"?>
<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:atom="http://www.w3.org/2005/Atom">
<Document id="d"><name>Doc</name><visibility>0</visibility>
  <atom:name>not the document's name</atom:name>
  <Folder><name> F </name>
    <Placemark><name>area</name>
      <Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 10,0 10,10 0,10 0,0</coordinates></LinearRing></outerBoundaryIs>
        <innerBoundaryIs><LinearRing><coordinates>2,2 3,2 3,3</coordinates></LinearRing>
                         <LinearRing><coordinates>5,5 6,5 6,6</coordinates></LinearRing></innerBoundaryIs>
        <innerBoundaryIs><LinearRing><coordinates>7,7 8,7 8,8</coordinates></LinearRing></innerBoundaryIs>
      </Polygon></Placemark>
  </Folder>
  <Placemark><visibility>false</visibility>
    <MultiGeometry><Point><coordinates>1.5,-2.5,100</coordinates></Point>
      <MultiGeometry><LineString><coordinates>
         1,2 3,4,5
         6,7</coordinates></LineString></MultiGeometry></MultiGeometry></Placemark>
  <Placemark><LinearRing><coordinates>0,0 1,0 1,1</coordinates></LinearRing><Point><coordinates>9,9</coordinates></Point></Placemark>
</Document></kml>)");
    QVERIFY(document);
    QCOMPARE(document->name(), QStringLiteral("Doc"));
    QCOMPARE(document->id(), QStringLiteral("d"));
    QVERIFY(!document->isVisible());
    QCOMPARE(document->childCount(), 3);

    auto *folder = dynamic_cast<GeoDataFolder *>(document->feature(0));
    QVERIFY(folder);
    QCOMPARE(folder->name(), QStringLiteral("F"));
    auto *area = dynamic_cast<GeoDataPlacemark *>(folder->feature(0));
    QVERIFY(area);
    auto *polygon = dynamic_cast<GeoDataPolygon *>(area->geometry());
    QVERIFY(polygon);
    QCOMPARE(polygon->outerBoundary().size(), 5);
    QCOMPARE(polygon->innerBoundaries().size(), size_t(3));
    QCOMPARE(polygon->innerBoundaries()[2].coordinates()[1], GeoDataCoordinates(8, 7));

    auto *hidden = dynamic_cast<GeoDataPlacemark *>(document->feature(1));
    QVERIFY(hidden && !hidden->isVisible());
    auto *multi = dynamic_cast<GeoDataMultiGeometry *>(hidden->geometry());
    QVERIFY(multi);
    QCOMPARE(multi->childCount(), 2);
    auto *point = dynamic_cast<GeoDataPoint *>(multi->geometry(0));
    QVERIFY(point);
    QCOMPARE(point->coordinates(), GeoDataCoordinates(1.5, -2.5, 100));
    auto *inner = dynamic_cast<GeoDataMultiGeometry *>(multi->geometry(1));
    QVERIFY(inner);
    auto *line = dynamic_cast<GeoDataLineString *>(inner->geometry(0));
    QVERIFY(line);
    QCOMPARE(line->geometryId(), LineStringId);
    QCOMPARE(line->size(), 3);
    QCOMPARE(line->coordinates()[1], GeoDataCoordinates(3, 4, 5));
    QCOMPARE(line->parent(), inner);
    QCOMPARE(inner->parent(), multi);
    QCOMPARE(multi->parent(), hidden);

    // A second geometry in one placemark is not KML; the first one stays.
    auto *ringMark = dynamic_cast<GeoDataPlacemark *>(document->feature(2));
    QVERIFY(ringMark && ringMark->geometry());
    QCOMPARE(ringMark->geometry()->geometryId(), LinearRingId);
}

void TestKmlReader::styles()
{
    auto document = read(R"(<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2" xmlns:kml="http://www.opengis.net/kml/2.2">
<Document>
  <Style id="s"><LineStyle><color>ff0000ff</color><width>2.5</width></LineStyle>
                <PolyStyle><color>7f00ff00</color><fill>0</fill><outline>false</outline></PolyStyle></Style>
  <gx:CascadingStyle kml:id="cascading"><styleUrl>http://elsewhere/x.kml#main</styleUrl>
     <Style><LineStyle><color>ffff0000</color></LineStyle></Style></gx:CascadingStyle>
  <StyleMap id="m"><Pair><key>normal</key><styleUrl>#s</styleUrl></Pair>
                   <Pair><key>highlight</key><Style><PolyStyle><color>ff000000</color></PolyStyle></Style></Pair></StyleMap>
  <Folder><Style id="shared-in-folder"><LineStyle><width>7</width></LineStyle></Style></Folder>
  <Placemark><styleUrl>#s</styleUrl><Style><LineStyle><width>9</width></LineStyle></Style></Placemark>
</Document></kml>)");
    QVERIFY(document);
    const GeoDataStyle s = document->style(QStringLiteral("s"));
    QCOMPARE(s.lineStyle().color(), QColor(255, 0, 0));
    QCOMPARE(s.lineStyle().width(), 2.5f);
    QCOMPARE(s.polyStyle().color(), QColor(0, 255, 0, 0x7f));
    QVERIFY(!s.polyStyle().fill());
    QVERIFY(!s.polyStyle().outline());

    QCOMPARE(document->style(QStringLiteral("cascading")).lineStyle().color(), QColor(0, 0, 255));

    // Unknown ids give the default style: white, one pixel, filled and outlined.
    const GeoDataStyle unknown = document->style(QStringLiteral("nothing"));
    QCOMPARE(unknown.lineStyle().color(), QColor(Qt::white));
    QCOMPARE(unknown.lineStyle().width(), 1.0f);
    QVERIFY(unknown.polyStyle().fill() && unknown.polyStyle().outline());

    const GeoDataStyleMap map = document->styleMap(QStringLiteral("m"));
    QCOMPARE(map.value(QStringLiteral("normal")), QStringLiteral("#s"));
    // An inline style inside a pair gets an id of its own and is kept like a shared one.
    const QString highlight = map.value(QStringLiteral("highlight"));
    QVERIFY(highlight.startsWith(QLatin1Char('#')));
    QCOMPARE(document->style(highlight.mid(1)).polyStyle().color(), QColor(Qt::black));
    QVERIFY(document->styleMap(QStringLiteral("s")).isEmpty());

    // A style in a folder is the folder's own; an inline style of a placemark beats its style URL.
    auto *folder = dynamic_cast<GeoDataFolder *>(document->feature(0));
    QVERIFY(folder);
    QCOMPARE(document->style(folder->styleUrl().mid(1)).lineStyle().width(), 7.0f);
    auto *placemark = dynamic_cast<GeoDataPlacemark *>(document->feature(1));
    QVERIFY(placemark);
    QCOMPARE(document->style(placemark->styleUrl().mid(1)).lineStyle().width(), 9.0f);
}

void TestKmlReader::styleUrls_data()
{
    QTest::addColumn<QByteArray>("styleUrl");
    QTest::addColumn<QString>("expected");
    QTest::newRow("with hash") << QByteArray("#a") << "#a";
    QTest::newRow("without hash, padded") << QByteArray("  a\n ") << "a";
    QTest::newRow("other file") << QByteArray("styles.kml#a") << "styles.kml#a";
    QTest::newRow("empty") << QByteArray("") << "";
}

void TestKmlReader::styleUrls()
{
    QFETCH(QByteArray, styleUrl);
    QFETCH(QString, expected);
    auto document = read("<kml><Placemark><styleUrl>" + styleUrl + "</styleUrl></Placemark></kml>");
    QVERIFY(document);
    // A lone placemark is wrapped in a document.
    QCOMPARE(document->childCount(), 1);
    QCOMPARE(document->feature(0)->styleUrl(), expected);
}

void TestKmlReader::malformed_data()
{
    QTest::addColumn<QByteArray>("kml");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << QByteArray() << "the file is empty";
    QTest::newRow("not xml") << QByteArray("lon,lat\n1,2\n") << "line 1, column 1:";
    QTest::newRow("not kml") << QByteArray("<gpx><trk/></gpx>") << "the root element is <gpx>, not <kml>";
    QTest::newRow("truncated") << QByteArray("<kml><Document><Placemark><LineString><coordinates>1,2 3,")
                               << "Premature end of document";
    QTest::newRow("mismatched tag") << QByteArray("<kml><Document></Folder></kml>") << "line 1, column";
    QTest::newRow("junk after root") << QByteArray("<kml/><kml/>") << "Extra content";
    QTest::newRow("one number") << QByteArray("<kml><Placemark><LineString><coordinates>1 2</coordinates></LineString></Placemark></kml>")
                                << "\"1\" is not a position";
    QTest::newRow("four numbers") << QByteArray("<kml><Placemark><LineString><coordinates>1,2,3,4</coordinates></LineString></Placemark></kml>")
                                  << "\"1,2,3,4\" is not a position";
    QTest::newRow("word") << QByteArray("<kml><Placemark><LineString><coordinates>1,north</coordinates></LineString></Placemark></kml>")
                          << "is not a position";
    QTest::newRow("not finite") << QByteArray("<kml><Placemark><Point><coordinates>nan,1</coordinates></Point></Placemark></kml>")
                                << "is not a position";
    QTest::newRow("off the globe") << QByteArray("<kml><Placemark><Point><coordinates>10,91</coordinates></Point></Placemark></kml>")
                                   << "outside the globe";
    QTest::newRow("element in coordinates") << QByteArray("<kml><Placemark><Point><coordinates>1,2<b/></coordinates></Point></Placemark></kml>")
                                            << "line 1, column";
    QTest::newRow("empty point") << QByteArray("<kml><Placemark><Point><coordinates/></Point></Placemark></kml>")
                                 << "a Point needs exactly one position, not 0";
    QTest::newRow("bad colour") << QByteArray("<kml><Document><Style><LineStyle><color>red</color></LineStyle></Style></Document></kml>")
                                << "\"red\" is not a colour";
    QTest::newRow("bad width") << QByteArray("<kml><Document><Style><LineStyle><width>-1</width></LineStyle></Style></Document></kml>")
                               << "\"-1\" is not a line width";
    QTest::newRow("bad visibility") << QByteArray("<kml><Document><visibility>yes</visibility></Document></kml>")
                                    << "\"yes\" is not a boolean";
    QByteArray deep = "<kml>";
    for (int i = 0; i < 150; ++i)
        deep += "<Folder>";
    QTest::newRow("deep folders") << deep << "nested deeper than 100 levels";
    QByteArray deepGeometry = "<kml><Placemark>";
    for (int i = 0; i < 150; ++i)
        deepGeometry += "<MultiGeometry>";
    QTest::newRow("deep geometries") << deepGeometry << "nested deeper than 100 levels";
}

void TestKmlReader::malformed()
{
    QFETCH(QByteArray, kml);
    QFETCH(QString, error);
    KmlReader reader;
    QVERIFY(!reader.read(kml));
    QVERIFY2(reader.errorString().contains(error), qPrintable(reader.errorString()));
}

void TestKmlReader::treeModel()
{
    auto document = read(R"(<kml><Document>
  <Folder><Placemark><styleUrl>#a</styleUrl><Polygon/></Placemark></Folder>
  <Placemark><MultiGeometry><LineString/><LinearRing/></MultiGeometry></Placemark>
</Document></kml>)");
    QVERIFY(document);
    GeoDataTreeModel model(document.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    auto objectAt = [&](const QModelIndex &index) { return model.data(index, 43).value<GeoDataObject *>(); };
    // The root index stands for the document itself; its children are the top-level rows.
    QCOMPARE(objectAt(QModelIndex()), document.get());
    QCOMPARE(model.rowCount(), 2);
    const QModelIndex folder = model.index(0, 0);
    QCOMPARE(objectAt(folder), document->feature(0));
    const QModelIndex placemark = model.index(0, 0, folder);
    QCOMPARE(model.data(placemark, 43).typeName(), "Mondri::GeoDataObject*");
    QCOMPARE(model.rowCount(placemark), 1);
    const QModelIndex polygon = model.index(0, 0, placemark);
    QCOMPARE(model.data(polygon).toString(), QStringLiteral("Polygon"));
    QCOMPARE(model.rowCount(polygon), 0);
    QCOMPARE(model.parent(polygon), placemark);
    QCOMPARE(model.parent(folder), QModelIndex());

    const QModelIndex multi = model.index(0, 0, model.index(1, 0));
    QCOMPARE(model.rowCount(multi), 2);
    QCOMPARE(model.data(model.index(1, 0, multi)).toString(), QStringLiteral("LinearRing"));
    QVERIFY(!model.index(2, 0, multi).isValid());
}

void TestKmlReader::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("lineStrings");
    QTest::addColumn<int>("rings");
    QTest::addColumn<int>("polygons");
    QTest::addColumn<int>("styles");
    QTest::addColumn<int>("styleMaps");
    QTest::newRow("styles") << "styles.kml" << 0 << 0 << 1 << 6 << 3;
    QTest::newRow("linear ring") << "linear_ring.kml" << 0 << 1 << 0 << 1 << 0;
    QTest::newRow("nested multi-geometry") << "multigeometry_sibling.kml" << 23 << 0 << 0 << 0 << 0;
}

void TestKmlReader::realFiles()
{
    QFETCH(QString, file);
    QFETCH(int, lineStrings);
    QFETCH(int, rings);
    QFETCH(int, polygons);
    QFETCH(int, styles);
    QFETCH(int, styleMaps);
    const QString shared = qEnvironmentVariable("TALVORI_SHARED_DIR");
    const QString path = QDir(shared).filePath(QStringLiteral("testdata/kml/") + file);
    if (shared.isEmpty() || !QFile::exists(path))
        QSKIP("the shared KML test files are not here (TALVORI_SHARED_DIR/testdata/kml)");
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    KmlReader reader;
    auto document = reader.read(&in);
    QVERIFY2(document, qPrintable(reader.errorString()));
    QCOMPARE(document->styleCount(), styles);
    QCOMPARE(document->styleMapCount(), styleMaps);

    int counts[6] = {};
    std::function<void(const GeoDataObject *)> count = [&](const GeoDataObject *object) {
        if (object->isGeometry())
            ++counts[static_cast<const GeoDataGeometry *>(object)->geometryId()];
        for (int i = 0; i < object->childCount(); ++i)
            count(object->child(i));
    };
    count(document.get());
    QCOMPARE(counts[LineStringId], lineStrings);
    QCOMPARE(counts[LinearRingId], rings);
    QCOMPARE(counts[PolygonId], polygons);
}

QTEST_GUILESS_MAIN(TestKmlReader)
#include "tst_kmlreader.moc"

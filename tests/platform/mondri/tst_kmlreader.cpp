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
#include <QBuffer>
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
    void skippedElements_data();
    void skippedElements();
    void tracksAndMultiGeometries();
    void iconAndLabelStyles();
    void manyWarnings();
    void largeInput_data();
    void largeInput();
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
    QTest::newRow("blank") << QByteArray(" \n\t\n") << "the file is empty";
    QTest::newRow("not xml") << QByteArray("lon,lat\n1,2\n") << "line 1, column 1:";
    QTest::newRow("not kml") << QByteArray("<gpx><trk/></gpx>") << "line 1, column 1: the root element is <gpx>, not <kml>";
    QTest::newRow("truncated") << QByteArray("<kml><Document><Placemark><LineString><coordinates>1,2 3,")
                               << "Premature end of document";
    QTest::newRow("mismatched tag") << QByteArray("<kml><Document></Folder></kml>") << "line 1, column 18: Opening and ending tag mismatch.";
    QTest::newRow("junk after root") << QByteArray("<kml/>\n<kml/>") << "line 2, column 1: Extra content";
    QTest::newRow("undeclared prefix") << QByteArray("<kml><gx:Track/></kml>") << "line 1, column 6:";
    QTest::newRow("bad entity") << QByteArray("<kml><Placemark><name>&nothing;</name></Placemark></kml>") << "line 1, column";
    QByteArray deep = "<kml>";
    for (int i = 0; i < 150; ++i)
        deep += "<Folder>";
    QTest::newRow("deep and unclosed") << deep << "Premature end of document";
}

void TestKmlReader::malformed()
{
    QFETCH(QByteArray, kml);
    QFETCH(QString, error);
    KmlReader reader;
    QVERIFY(!reader.read(kml));
    QVERIFY2(reader.errorString().contains(error), qPrintable(reader.errorString()));
    // Strict or not, malformed XML is an error.
    reader.setStrict(true);
    QVERIFY(!reader.read(kml));
}

// One bad element among good ones: it is skipped with a warning that says where and what, and
// everything else of the file is read. In strict mode the same problem is the error.
void TestKmlReader::skippedElements_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<QString>("warning");

    const auto line = [](const QByteArray &coordinates) {
        return "<Placemark><name>bad</name><LineString>\n  <coordinates>" + coordinates + "</coordinates></LineString></Placemark>";
    };
    QTest::newRow("one number") << line("1 2") << "line 4, column 3: \"1\" is not a position (lon,lat[,alt]); <LineString> skipped";
    QTest::newRow("fourth value") << line("1,2,3 4,5,6,7") << "line 4, column 3: \"4,5,6,7\" is not a position (lon,lat[,alt]); <LineString> skipped";
    QTest::newRow("word") << line("1,north") << "\"1,north\" is not a position";
    QTest::newRow("empty field") << line("1,,2") << "\"1,,2\" is not a position";
    QTest::newRow("not finite") << line("nan,1 2,3") << "\"nan,1\" is not a position";
    QTest::newRow("off the globe") << line("10,91") << "position \"10,91\" is outside the globe; <LineString> skipped";
    QTest::newRow("element in coordinates") << line("1,2<b/>") << "<coordinates> holds elements, not only positions; <LineString> skipped";
    QTest::newRow("empty point") << QByteArray("<Placemark><Point><coordinates/></Point></Placemark>")
                                 << "line 3, column 12: a Point needs exactly one position, not 0; <Point> skipped";
    QTest::newRow("two positions in a point") << QByteArray("<Placemark><Point><coordinates>1,2 3,4</coordinates></Point></Placemark>")
                                              << "a Point needs exactly one position, not 2; <Point> skipped";
    QTest::newRow("bad ring of a polygon") << QByteArray("<Placemark><Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing></outerBoundaryIs>"
                                                         "<innerBoundaryIs><LinearRing><coordinates>0.5,x</coordinates></LinearRing></innerBoundaryIs></Polygon></Placemark>")
                                           << "\"0.5,x\" is not a position (lon,lat[,alt]); <Polygon> skipped";
    QTest::newRow("bad track position") << QByteArray("<Placemark><gx:Track><when>2020-01-01</when><gx:coord>1 2 3</gx:coord><gx:coord>1 x</gx:coord></gx:Track></Placemark>")
                                        << "\"1 x\" is not a position (lon lat [alt]); <Track> skipped";
    const auto style = [](const QByteArray &inside) { return "<Style id=\"bad\">" + inside + "</Style>"; };
    QTest::newRow("colour of three digits") << style("<LineStyle><color>f00</color></LineStyle>")
                                            << "line 3, column 28: \"f00\" is not a colour (aabbggrr); <color> skipped";
    QTest::newRow("colour of seven digits") << style("<PolyStyle><color>ff0000f</color></PolyStyle>") << "\"ff0000f\" is not a colour";
    QTest::newRow("colour by name") << style("<IconStyle><color>red</color></IconStyle>") << "\"red\" is not a colour";
    QTest::newRow("negative width") << style("<LineStyle><width>-1</width></LineStyle>") << "\"-1\" is not a line width; <width> skipped";
    QTest::newRow("bad scale") << style("<LabelStyle><scale>big</scale></LabelStyle>") << "\"big\" is not a scale; <scale> skipped";
    QTest::newRow("bad fill") << style("<PolyStyle><fill>yes</fill></PolyStyle>") << "\"yes\" is not a boolean (0 or 1); <fill> skipped";
    QTest::newRow("bad visibility") << QByteArray("<Folder><visibility>maybe</visibility></Folder>") << "\"maybe\" is not a boolean (0 or 1); <visibility> skipped";
    QByteArray deepFolders;
    for (int i = 0; i < 120; ++i)
        deepFolders += "<Folder>";
    for (int i = 0; i < 120; ++i)
        deepFolders += "</Folder>";
    QTest::newRow("deep folders") << deepFolders << "features are nested deeper than 100 levels; <Folder> skipped";
    QByteArray deepGeometries = "<Placemark>";
    for (int i = 0; i < 120; ++i)
        deepGeometries += "<MultiGeometry>";
    for (int i = 0; i < 120; ++i)
        deepGeometries += "</MultiGeometry>";
    QTest::newRow("deep geometries") << deepGeometries + "</Placemark>" << "geometries are nested deeper than 100 levels; <MultiGeometry> skipped";
}

void TestKmlReader::skippedElements()
{
    QFETCH(QByteArray, element);
    QFETCH(QString, warning);
    // The bad element sits between two good placemarks, on a line of its own.
    const QByteArray kml = "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>\n"
                           "<Placemark><name>before</name><Point><coordinates>1,2</coordinates></Point></Placemark>\n"
                           + element + "\n"
                           "<Placemark><name>after</name><LineString><coordinates>3,4 5,6</coordinates></LineString></Placemark>\n"
                           "</Document></kml>";
    KmlReader reader;
    auto document = reader.read(kml);
    QVERIFY2(document, qPrintable(reader.errorString()));
    QCOMPARE(reader.warnings().size(), 1);
    QVERIFY2(reader.warnings().first().contains(warning), qPrintable(reader.warnings().first()));
    QVERIFY(reader.warnings().first().startsWith(QLatin1String("line ")));

    auto *before = dynamic_cast<GeoDataPlacemark *>(document->feature(0));
    QVERIFY(before && before->geometry());
    QCOMPARE(static_cast<GeoDataPoint *>(before->geometry())->coordinates(), GeoDataCoordinates(1, 2));
    auto *after = dynamic_cast<GeoDataPlacemark *>(document->feature(document->childCount() - 1));
    QVERIFY(after && after->name() == QLatin1String("after"));
    QCOMPARE(static_cast<GeoDataLineString *>(after->geometry())->size(), 2);
    // A skipped geometry leaves its placemark without one.
    if (auto *bad = dynamic_cast<GeoDataPlacemark *>(document->feature(1)); bad && document->childCount() == 3)
        QVERIFY(!bad->geometry() || bad->geometry()->geometryId() == MultiGeometryId);

    reader.setStrict(true);
    QVERIFY(!reader.read(kml));
    const QString problem = warning.section(QStringLiteral("; <"), 0, 0);
    QVERIFY2(reader.errorString().contains(problem), qPrintable(reader.errorString()));
    QVERIFY(reader.warnings().isEmpty());
}

void TestKmlReader::tracksAndMultiGeometries()
{
    auto document = read(R"(<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2"><Document>
<Placemark><gx:Track><altitudeMode>absolute</altitudeMode>
  <when>2010-05-28T02:02:09Z</when><when>2010-05-28T02:02:35Z</when><when>2010-05-28T02:02:44Z</when>
  <gx:coord>-122.207881 37.371915 156.0</gx:coord><gx:coord> -122.205712  37.373288 152 </gx:coord>
  <gx:coord>-122.204678 37.373939</gx:coord><gx:angles>45.54 66.2 0.0</gx:angles></gx:Track></Placemark>
<Placemark><gx:MultiTrack><gx:interpolate>1</gx:interpolate>
  <gx:Track><gx:coord>1 2 0</gx:coord><gx:coord>3 4 0</gx:coord></gx:Track>
  <gx:Track><gx:coord>5 6 0</gx:coord><gx:coord>7 8 0</gx:coord><gx:coord>9 8 0</gx:coord></gx:Track></gx:MultiTrack></Placemark>
<Placemark><MultiPolygon><Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing></outerBoundaryIs></Polygon>
  <Polygon><outerBoundaryIs><LinearRing><coordinates>2,2 3,2 3,3 2,2</coordinates></LinearRing></outerBoundaryIs></Polygon></MultiPolygon></Placemark>
<Placemark><MultiLineString><LineString><coordinates>0,0 1,1</coordinates></LineString>
  <LineString><coordinates>2,2 3,3</coordinates></LineString></MultiLineString></Placemark>
</Document></kml>)");
    QVERIFY(document);
    QCOMPARE(document->childCount(), 4);
    const auto geometryOf = [&](int row) { return static_cast<GeoDataPlacemark *>(document->feature(row))->geometry(); };

    auto *track = dynamic_cast<GeoDataLineString *>(geometryOf(0));
    QVERIFY(track);
    QCOMPARE(track->geometryId(), LineStringId);
    QCOMPARE(track->size(), 3);
    QCOMPARE(track->coordinates()[0], GeoDataCoordinates(-122.207881, 37.371915, 156));
    QCOMPARE(track->coordinates()[1], GeoDataCoordinates(-122.205712, 37.373288, 152));
    QCOMPARE(track->coordinates()[2], GeoDataCoordinates(-122.204678, 37.373939, 0));

    auto *tracks = dynamic_cast<GeoDataMultiGeometry *>(geometryOf(1));
    QVERIFY(tracks);
    QCOMPARE(tracks->childCount(), 2);
    QCOMPARE(static_cast<GeoDataLineString *>(tracks->geometry(1))->size(), 3);
    QCOMPARE(static_cast<GeoDataLineString *>(tracks->geometry(1))->coordinates()[2], GeoDataCoordinates(9, 8, 0));

    auto *polygons = dynamic_cast<GeoDataMultiGeometry *>(geometryOf(2));
    QVERIFY(polygons);
    QCOMPARE(polygons->childCount(), 2);
    QCOMPARE(polygons->geometry(1)->geometryId(), PolygonId);
    QCOMPARE(polygons->latLonBox(), GeoDataLatLonBox(0, 0, 3, 3));

    auto *lines = dynamic_cast<GeoDataMultiGeometry *>(geometryOf(3));
    QVERIFY(lines);
    QCOMPARE(lines->childCount(), 2);
    QCOMPARE(lines->geometry(0)->geometryId(), LineStringId);
}

void TestKmlReader::iconAndLabelStyles()
{
    auto document = read(R"(<kml><Document>
<Style id="pin"><IconStyle><color>ff00ff00</color><scale>1.5</scale><Icon><href> icons/pin.png </href></Icon>
  <hotSpot x="20" y="2" xunits="pixels" yunits="pixels"/></IconStyle>
  <LabelStyle><color>7f0000ff</color><scale>0.5</scale></LabelStyle></Style>
</Document></kml>)");
    QVERIFY(document);
    const GeoDataStyle pin = document->style(QStringLiteral("pin"));
    QCOMPARE(pin.iconStyle().color(), QColor(0, 255, 0));
    QCOMPARE(pin.iconStyle().scale(), 1.5f);
    QCOMPARE(pin.iconStyle().iconHref(), QStringLiteral("icons/pin.png"));
    QCOMPARE(pin.labelStyle().color(), QColor(255, 0, 0, 0x7f));
    QCOMPARE(pin.labelStyle().scale(), 0.5f);
    // A style that says nothing: white icon and label at their own size, the default marker.
    const GeoDataStyle plain = document->style(QStringLiteral("none"));
    QCOMPARE(plain.iconStyle().color(), QColor(Qt::white));
    QCOMPARE(plain.iconStyle().scale(), 1.0f);
    QVERIFY(plain.iconStyle().iconHref().isEmpty());
    QCOMPARE(plain.labelStyle().color(), QColor(Qt::white));
}

// A file full of bad elements lists the first hundred and counts the rest.
void TestKmlReader::manyWarnings()
{
    QByteArray kml = "<kml><Document>";
    for (int i = 0; i < 150; ++i)
        kml += "<Placemark><Point><coordinates/></Point></Placemark>";
    KmlReader reader;
    auto document = reader.read(kml + "</Document></kml>");
    QVERIFY(document);
    QCOMPARE(document->childCount(), 150);
    QCOMPARE(reader.warnings().size(), 101);
    QCOMPARE(reader.warnings().last(), QStringLiteral("50 more elements skipped"));
}

// Large input is parsed ahead on a thread of its own; what is read must not depend on that, nor
// on where the slices of input end.
void TestKmlReader::largeInput_data()
{
    QTest::addColumn<bool>("fromDevice");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("error");
    QTest::newRow("bytes") << false << QByteArray("</Document></kml>") << QString();
    QTest::newRow("device") << true << QByteArray("</Document></kml>") << QString();
    QTest::newRow("malformed at the end") << true << QByteArray("</Document></kml><") << "line 20002, column 18:";
    QTest::newRow("bad element at the end, strict") << false << QByteArray("<Placemark><Point><coordinates/></Point></Placemark></Document></kml>")
                                                     << "line 20002, column 12: a Point needs exactly one position, not 0";
}

void TestKmlReader::largeInput()
{
    QFETCH(bool, fromDevice);
    QFETCH(QByteArray, tail);
    QFETCH(QString, error);
    QByteArray kml = "<kml><Document>\n";
    for (int i = 0; i < 20000; ++i)
        kml += "<Placemark><name>p" + QByteArray::number(i) + "</name><LineString><coordinates>" + QByteArray::number(i % 180)
            + ",1 2,3.5,100</coordinates></LineString></Placemark>\n";
    kml += tail;
    QVERIFY(kml.size() > 1'000'000);
    KmlReader reader;
    reader.setStrict(true);
    QBuffer buffer(&kml);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    auto document = fromDevice ? reader.read(&buffer) : reader.read(kml);
    if (!error.isEmpty()) {
        QVERIFY(!document);
        QVERIFY2(reader.errorString().startsWith(error), qPrintable(reader.errorString()));
        return;
    }
    QVERIFY2(document, qPrintable(reader.errorString()));
    QCOMPARE(document->childCount(), 20000);
    auto *last = static_cast<GeoDataPlacemark *>(document->feature(19999));
    QCOMPARE(last->name(), QStringLiteral("p19999"));
    QCOMPARE(static_cast<GeoDataLineString *>(last->geometry())->coordinates()[1], GeoDataCoordinates(2, 3.5, 100));

    // Given up early (here: the root is no KML), the reader stops its thread and is ready again.
    QVERIFY(!reader.read("<gpx>" + kml));
    QVERIFY(reader.read(kml));
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

// ShapeLayerPlugin loaded the way the map loads it, painting small KML documents that are checked
// pixel by pixel (see MapRenderTest). Normal quality draws without smoothing, so colours are exact.

#include "datafacade.h"
#include "maprendertest.h"
#include "geopainter.h"
#include "maprenderer.h"
#include "pluginmanager.h"
#include "renderplugin.h"
#include "viewportparams.h"

#include <QDir>
#include <QImage>
#include <QPluginLoader>
#include <QTest>

using namespace Mondri;

namespace {

const QColor Background = MapRenderTest::Background;
const QColor Red = MapRenderTest::Red;
const QColor Green = MapRenderTest::Green;
const QColor Blue = MapRenderTest::Blue;

// Styles: "red" fills red with a green 5 px outline, "blue" fills blue, "green" fills green.
const QByteArray StandardStyles = R"(
<Style id="red"><LineStyle><color>ff00ff00</color><width>5</width></LineStyle><PolyStyle><color>ff0000ff</color></PolyStyle></Style>
<Style id="blue"><PolyStyle><color>ffff0000</color></PolyStyle></Style>
<Style id="green"><PolyStyle><color>ff00ff00</color></PolyStyle></Style>)";

QByteArray square(double from, double to)
{
    return QStringLiteral("<Polygon><outerBoundaryIs><LinearRing><coordinates>%1,%1 %2,%1 %2,%2 %1,%2 %1,%1"
                          "</coordinates></LinearRing></outerBoundaryIs></Polygon>").arg(from).arg(to).toUtf8();
}

QByteArray placemark(const QByteArray &styleUrl, const QByteArray &geometry, const QByteArray &extra = {})
{
    return "<Placemark>" + extra + "<styleUrl>" + styleUrl + "</styleUrl>" + geometry + "</Placemark>";
}

QByteArray document(const QByteArray &body, const QByteArray &documentExtra = {})
{
    return "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>"
        + documentExtra + StandardStyles + body
        + "</Document></kml>";
}

// The build's plug-in directory holds this plug-in and the placemark plug-in.
constexpr int PluginCount = 2;

RenderPlugin *shapeLayer(const QList<RenderPlugin *> &plugins)
{
    for (RenderPlugin *plugin : plugins) {
        if (plugin->identifier() == QLatin1String("ShapeLayer-plugin"))
            return plugin;
    }
    return nullptr;
}

} // namespace

class TestShapeLayerPlugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identity();
    void pixels_data();
    void pixels();
    void otherRenderPosition();
    void noContent();
    void painterStateKept();
    void equalStylesCostNoStateChanges();
    void reloadedContent();
};

void TestShapeLayerPlugin::identity()
{
    QPluginLoader loader(QDir(MapRenderTest::pluginDirectory()).filePath(QStringLiteral("libShapeLayerPlugin.so")));
    QCOMPARE(loader.metaData().value(QStringLiteral("IID")).toString(),
             QStringLiteral("org.talvori.Mondri.RenderPluginInterface/1.05"));
    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    // One instance per process, however often it is asked for.
    QCOMPARE(loader.instance(), instance);
    auto *plugin = qobject_cast<RenderPlugin *>(instance);
    QVERIFY(plugin);
    QVERIFY(qobject_cast<RenderPluginInterface *>(instance));
    QCOMPARE(plugin->metaObject()->className(), "Mondri::ShapeLayerPlugin");

    QCOMPARE(plugin->displayName(), QStringLiteral("ShapeLayer Plugin"));
    QCOMPARE(plugin->menuText(), QStringLiteral("&ShapeLayer Plugin"));
    QCOMPARE(plugin->identifier(), QStringLiteral("ShapeLayer-plugin"));
    QCOMPARE(plugin->description(), QStringLiteral("This plugin draws the map content (e.g. provided via a KML file)."));
    QVERIFY(plugin->icon().isNull());
    QCOMPARE(plugin->backendTypes(), QStringList { QStringLiteral("geodata") });
    QCOMPARE(plugin->renderPolicy(), QStringLiteral("ALWAYS"));
    QCOMPARE(plugin->renderPositions(), QStringList { QStringLiteral("HOVERS_ABOVE_SURFACE") });

    std::unique_ptr<RenderPlugin> fresh(plugin->newInstance());
    QVERIFY(fresh && fresh.get() != plugin);
    QCOMPARE(fresh->metaObject()->className(), "Mondri::ShapeLayerPlugin");
    QVERIFY(!fresh->isInitialized());
    fresh->initialize();
    QVERIFY(fresh->isInitialized());

    // The map's own loader finds it in the plug-in directory by its interface identifier.
    PluginManager manager;
    QCOMPARE(manager.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QCOMPARE(shapeLayer(manager.plugins()), plugin);

    // A map that is pointed at the same directory twice still paints each plug-in once.
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), 0);
    QCOMPARE(renderer.plugins().size(), PluginCount);
    RenderPlugin *ours = shapeLayer(renderer.plugins());
    QVERIFY(ours && ours != plugin && ours->isInitialized());
}

void TestShapeLayerPlugin::pixels_data()
{
    QTest::addColumn<QByteArray>("kml");
    QTest::addColumn<int>("quality");
    QTest::addColumn<QList<QPoint>>("probes");
    QTest::addColumn<QList<QColor>>("colours");

    const QByteArray hole = "<Polygon><outerBoundaryIs><LinearRing><coordinates>1,1 9,1 9,9 1,9 1,1</coordinates></LinearRing></outerBoundaryIs>"
                            "<innerBoundaryIs><LinearRing><coordinates>3,3 7,3 7,7 3,7 3,3</coordinates></LinearRing></innerBoundaryIs></Polygon>";
    QTest::newRow("polygon with a hole") << document(placemark("#blue", hole)) << int(NormalQuality)
        << QList<QPoint> { { 20, 50 }, { 50, 50 }, { 5, 50 } } << QList<QColor> { Blue, Background, Background };

    const QByteArray ring = "<LinearRing><coordinates>2,2 8,2 8,8 2,8</coordinates></LinearRing>";
    QTest::newRow("linear ring never filled") << document(placemark("#red", ring)) << int(NormalQuality)
        << QList<QPoint> { { 50, 50 }, { 20, 50 }, { 50, 80 } } << QList<QColor> { Background, Green, Green };

    // Column 19 lies just outside the fill, under the 5 px outline.
    QTest::newRow("outline on") << document(placemark("#red", square(2, 8))) << int(NormalQuality)
        << QList<QPoint> { { 19, 50 }, { 50, 50 } } << QList<QColor> { Green, Red };
    const QByteArray noOutline = R"(<Style id="plain"><LineStyle><color>ff00ff00</color><width>5</width></LineStyle>
        <PolyStyle><color>ff0000ff</color><outline>0</outline></PolyStyle></Style>)";
    QTest::newRow("outline off") << document(noOutline + placemark("#plain", square(2, 8))) << int(NormalQuality)
        << QList<QPoint> { { 19, 50 }, { 50, 50 } } << QList<QColor> { Background, Red };

    const QByteArray noFill = R"(<Style id="plain"><LineStyle><color>ff00ff00</color></LineStyle>
        <PolyStyle><color>ff0000ff</color><fill>0</fill></PolyStyle></Style>)";
    QTest::newRow("fill off") << document(noFill + placemark("#plain", square(2, 8))) << int(NormalQuality)
        << QList<QPoint> { { 50, 50 } } << QList<QColor> { Background };

    // 80ff0000: blue at alpha 128. Smoothed qualities blend it half and half with the background.
    const QByteArray translucent = R"(<Style id="glass"><LineStyle><color>80ff0000</color><width>5</width></LineStyle>
        <PolyStyle><fill>0</fill></PolyStyle></Style>)";
    const QByteArray glassSquare = document(translucent + placemark("#glass", square(2, 8)));
    const QColor blended(5, 10, 143);
    QTest::newRow("translucent outline, normal") << glassSquare << int(NormalQuality)
        << QList<QPoint> { { 20, 50 } } << QList<QColor> { Blue };
    QTest::newRow("translucent outline, high") << glassSquare << int(HighQuality)
        << QList<QPoint> { { 20, 50 } } << QList<QColor> { blended };
    QTest::newRow("translucent outline, print") << glassSquare << int(PrintQuality)
        << QList<QPoint> { { 20, 50 } } << QList<QColor> { blended };

    const QByteArray map = R"(<StyleMap id="m"><Pair><key>normal</key><styleUrl>#green</styleUrl></Pair>
        <Pair><key>highlight</key><styleUrl>#blue</styleUrl></Pair></StyleMap>)";
    QTest::newRow("style map: normal entry") << document(map + placemark("#m", square(2, 8))) << int(NormalQuality)
        << QList<QPoint> { { 50, 50 } } << QList<QColor> { Green };
    // An empty normal entry falls back to the placemark's own URL, which here also names a style.
    const QByteArray emptyNormal = R"(<Style id="own"><PolyStyle><color>ff0000ff</color></PolyStyle></Style>
        <StyleMap id="own"><Pair><key>normal</key><styleUrl></styleUrl></Pair>
        <Pair><key>highlight</key><styleUrl>#blue</styleUrl></Pair></StyleMap>)";
    QTest::newRow("style map: empty normal entry") << document(emptyNormal + placemark("#own", square(2, 8)))
        << int(NormalQuality) << QList<QPoint> { { 50, 50 } } << QList<QColor> { Red };
    QTest::newRow("style URL without #") << document(placemark(" blue ", square(2, 8))) << int(NormalQuality)
        << QList<QPoint> { { 50, 50 } } << QList<QColor> { Blue };
    QTest::newRow("unknown style: white") << document(placemark("#none", square(2, 8))) << int(NormalQuality)
        << QList<QPoint> { { 50, 50 } } << QList<QColor> { QColor(Qt::white) };
    // A painter starts with no brush and a black brush colour; a black fill must still be set.
    const QByteArray black = R"(<Style id="black"><PolyStyle><color>ff000000</color></PolyStyle></Style>)";
    QTest::newRow("black fill") << document(black + placemark("#black", square(2, 8))) << int(NormalQuality)
        << QList<QPoint> { { 50, 50 } } << QList<QColor> { QColor(Qt::black) };

    QTest::newRow("invisible root document") << document(placemark("#red", square(2, 8)), "<visibility>0</visibility>")
        << int(NormalQuality) << QList<QPoint> { { 50, 50 }, { 19, 50 } } << QList<QColor> { Background, Background };
    // Only the root's flag counts; a hidden placemark below a visible document is still drawn.
    QTest::newRow("hidden placemark") << document(placemark("#blue", square(2, 8), "<visibility>0</visibility>"))
        << int(NormalQuality) << QList<QPoint> { { 50, 50 } } << QList<QColor> { Blue };

    // A V from (2,8) down to (5,2) and up to (8,8): stroked, never filled, whatever the style says.
    const QByteArray vee = "<LineString><coordinates>2,8 5,2 8,8</coordinates></LineString>";
    QTest::newRow("line string") << document(placemark("#red", vee)) << int(NormalQuality)
        << QList<QPoint> { { 50, 40 }, { 50, 79 } } << QList<QColor> { Background, Green };

    const QByteArray nested = "<MultiGeometry>" + square(1, 4) + "<MultiGeometry>" + square(6, 9)
        + "<LineString><coordinates>1,7.5 4,7.5</coordinates></LineString></MultiGeometry></MultiGeometry>";
    QTest::newRow("nested multi-geometries") << document("<Folder>" + placemark("#red", nested) + "</Folder>")
        << int(NormalQuality) << QList<QPoint> { { 25, 75 }, { 75, 25 }, { 25, 25 } } << QList<QColor> { Red, Red, Green };

    // Tracks are lines through their positions; the multi-geometries named by their members' kind
    // are drawn like any multi-geometry.
    const QByteArray track = "<gx:Track><when>2020-05-01T10:00:00Z</when><gx:coord>2 8 0</gx:coord><gx:coord>5 2 0</gx:coord>"
                             "<gx:coord>8 8 0</gx:coord></gx:Track>";
    QTest::newRow("track") << document(placemark("#red", track)) << int(NormalQuality)
        << QList<QPoint> { { 50, 40 }, { 50, 79 } } << QList<QColor> { Background, Green };
    const QByteArray tracks = "<gx:MultiTrack><gx:Track><gx:coord>1 2 0</gx:coord><gx:coord>4 2 0</gx:coord></gx:Track>"
                              "<gx:Track><gx:coord>6 8 0</gx:coord><gx:coord>9 8 0</gx:coord></gx:Track></gx:MultiTrack>";
    QTest::newRow("multi-track") << document(placemark("#red", tracks)) << int(NormalQuality)
        << QList<QPoint> { { 25, 80 }, { 75, 20 }, { 50, 50 } } << QList<QColor> { Green, Green, Background };
    QTest::newRow("multi-polygon") << document(placemark("#blue", "<MultiPolygon>" + square(1, 4) + square(6, 9) + "</MultiPolygon>"))
        << int(NormalQuality) << QList<QPoint> { { 25, 75 }, { 75, 25 }, { 50, 50 } } << QList<QColor> { Blue, Blue, Background };
    const QByteArray lines = "<MultiLineString><LineString><coordinates>1,2 4,2</coordinates></LineString>"
                             "<LineString><coordinates>6,8 9,8</coordinates></LineString></MultiLineString>";
    QTest::newRow("multi-line-string") << document(placemark("#red", lines)) << int(NormalQuality)
        << QList<QPoint> { { 25, 80 }, { 75, 20 } } << QList<QColor> { Green, Green };

    // Elements that cannot be used are left out, and only they: the rest is drawn.
    QTest::newRow("point without a position beside a square")
        << document(placemark("#blue", "<Point><coordinates/></Point>") + placemark("#blue", square(2, 8)))
        << int(NormalQuality) << QList<QPoint> { { 50, 50 } } << QList<QColor> { Blue };
    QTest::newRow("line with a fourth value") << document(placemark("#red", "<LineString><coordinates>2,8,0,1 5,2,0,1 8,8,0,1</coordinates></LineString>")
                                                          + placemark("#blue", square(6, 9)))
        << int(NormalQuality) << QList<QPoint> { { 50, 79 }, { 75, 25 } } << QList<QColor> { Background, Blue };
    const QByteArray badColours = R"(<Style id="odd"><LineStyle><color>ff0f</color><width>5</width></LineStyle>
        <PolyStyle><color>ff0000f</color></PolyStyle></Style>)";
    QTest::newRow("bad colours keep the defaults") << document(badColours + placemark("#odd", square(2, 8)))
        << int(NormalQuality) << QList<QPoint> { { 50, 50 }, { 19, 50 } } << QList<QColor> { QColor(Qt::white), QColor(Qt::white) };

    // Each placemark's style holds for the geometries after it.
    QTest::newRow("styles per placemark") << document(placemark("#blue", square(1, 4)) + placemark("#green", square(6, 9)))
        << int(NormalQuality) << QList<QPoint> { { 25, 75 }, { 75, 25 } } << QList<QColor> { Blue, Green };
}

void TestShapeLayerPlugin::pixels()
{
    QFETCH(QByteArray, kml);
    QFETCH(int, quality);
    QFETCH(QList<QPoint>, probes);
    QFETCH(QList<QColor>, colours);
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QVERIFY(MapRenderTest::load(&renderer, kml));
    bool ok = false;
    const QImage image = MapRenderTest::render(&renderer, MapQuality(quality), &ok);
    QVERIFY(ok);
    const QString mismatch = MapRenderTest::mismatch(image, probes, colours);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestShapeLayerPlugin::otherRenderPosition()
{
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QVERIFY(MapRenderTest::load(&renderer, document(placemark("#red", square(0, 10)))));
    RenderPlugin *plugin = shapeLayer(renderer.plugins());
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Background);
    const QImage blank = image;
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    for (const QString &position : { QStringLiteral("SURFACE"), QStringLiteral("ALWAYS_ON_TOP"), QString() }) {
        GeoPainter painter(&image, &viewport);
        QVERIFY(plugin->paint(&painter, &viewport, position, nullptr));
        QCOMPARE(painter.penChangeCount() + painter.brushChangeCount(), 0);
    }
    QCOMPARE(image, blank);
}

void TestShapeLayerPlugin::noContent()
{
    QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    GeoPainter painter(&image, &viewport);

    // Loaded but not attached to a map: no data facade.
    PluginManager manager;
    QCOMPARE(manager.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    std::unique_ptr<RenderPlugin> orphan(shapeLayer(manager.plugins())->newInstance());
    orphan->initialize();
    QVERIFY(!orphan->paint(&painter, &viewport, QStringLiteral("HOVERS_ABOVE_SURFACE"), nullptr));

    // Attached to a map that has loaded nothing: no geometry model.
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QVERIFY(!shapeLayer(renderer.plugins())->paint(&painter, &viewport, QStringLiteral("HOVERS_ABOVE_SURFACE"), nullptr));
}

// Other layers paint after this one with the same painter, so it must hand the painter back as it
// found it, whatever styles it met.
void TestShapeLayerPlugin::painterStateKept()
{
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QVERIFY(MapRenderTest::load(&renderer, document(placemark("#red", square(1, 4)) + placemark("#blue", "<LinearRing><coordinates>5,5 6,5 6,6</coordinates></LinearRing>"))));
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    GeoPainter painter(&image, &viewport, HighQuality);
    const QPen pen(Qt::magenta, 3);
    const QBrush brush(Qt::yellow, Qt::Dense4Pattern);
    painter.setPen(pen);
    painter.setBrush(brush);
    QVERIFY(shapeLayer(renderer.plugins())->paint(&painter, &viewport, QStringLiteral("HOVERS_ABOVE_SURFACE"), nullptr));
    QCOMPARE(painter.pen(), pen);
    QCOMPARE(painter.brush(), brush);
    QVERIFY(!painter.testRenderHint(QPainter::Antialiasing));
}

void TestShapeLayerPlugin::equalStylesCostNoStateChanges()
{
    QByteArray body;
    for (int i = 0; i < 40; ++i)
        body += placemark("#red", square(1, 2));
    for (int i = 0; i < 40; ++i)
        body += placemark("#blue", square(3, 4));
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QVERIFY(MapRenderTest::load(&renderer, document(body)));
    MapRenderTest::render(&renderer);
    // One pen and one brush per run of equal style.
    QCOMPARE(renderer.penChangeCount(), 2);
    QCOMPARE(renderer.brushChangeCount(), 2);
}

void TestShapeLayerPlugin::reloadedContent()
{
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), PluginCount);
    QVERIFY(MapRenderTest::load(&renderer, document(placemark("#red", square(1, 4)))));
    QCOMPARE(MapRenderTest::render(&renderer).pixelColor(25, 75), Red);
    // The first model is deleted with its content; the plug-in must paint from the new one.
    QVERIFY(MapRenderTest::load(&renderer, document(placemark("#blue", square(6, 9)))));
    const QImage image = MapRenderTest::render(&renderer);
    QCOMPARE(image.pixelColor(75, 25), Blue);
    QCOMPARE(image.pixelColor(25, 75), Background);
}

QTEST_MAIN(TestShapeLayerPlugin)
#include "tst_shapelayerplugin.moc"

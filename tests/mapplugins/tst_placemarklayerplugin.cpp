// PlacemarkLayerPlugin loaded the way the map loads it, beside the ShapeLayer plug-in (which needs a
// QApplication), painting point placemarks that are checked pixel by pixel (see MapRenderTest). A
// point at (5, 5) lies on pixel (50, 50); the default marker is a disc of 12 pixels, an icon fills 32.

#include "datafacade.h"
#include "geopainter.h"
#include "maprenderer.h"
#include "maprendertest.h"
#include "pluginmanager.h"
#include "renderplugin.h"
#include "viewportparams.h"

#include <QDir>
#include <QFile>
#include <QPluginLoader>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Mondri;

namespace {

const QColor Background = MapRenderTest::Background;
const QColor Red = MapRenderTest::Red;
const QColor Green = MapRenderTest::Green;
const QColor Blue = MapRenderTest::Blue;
const QColor Yellow(255, 255, 0);

// Styles: "red" marks in red, "big" in red at twice the size, "named" writes yellow names.
const QByteArray StandardStyles = R"(
<Style id="red"><IconStyle><color>ff0000ff</color></IconStyle></Style>
<Style id="big"><IconStyle><color>ff0000ff</color><scale>2</scale></IconStyle></Style>
<Style id="named"><IconStyle><color>ff0000ff</color></IconStyle><LabelStyle><color>ff00ffff</color></LabelStyle></Style>
<Style id="bignamed"><IconStyle><color>ff0000ff</color></IconStyle><LabelStyle><color>ff00ffff</color><scale>2</scale></LabelStyle></Style>
<Style id="area"><LineStyle><color>ffff0000</color></LineStyle><PolyStyle><color>ffff0000</color></PolyStyle></Style>)";

QByteArray point(double lon, double lat)
{
    return QStringLiteral("<Point><coordinates>%1,%2</coordinates></Point>").arg(lon).arg(lat).toUtf8();
}

QByteArray placemark(const QByteArray &styleUrl, const QByteArray &geometry, const QByteArray &name = {})
{
    return "<Placemark><name>" + name + "</name><styleUrl>" + styleUrl + "</styleUrl>" + geometry + "</Placemark>";
}

QByteArray document(const QByteArray &body, const QByteArray &documentExtra = {})
{
    return "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>" + documentExtra + StandardStyles + body
        + "</Document></kml>";
}

QByteArray iconStyle(const QByteArray &id, const QByteArray &href, const QByteArray &color = "ff00ff00")
{
    return "<Style id=\"" + id + "\"><IconStyle><color>" + color + "</color><Icon><href>" + href
        + "</href></Icon></IconStyle></Style>";
}

// The pixels of the colour (within a few steps, for smoothed text edges) inside the rectangle.
int countColour(const QImage &image, const QRect &rect, const QColor &colour)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += qAbs(c.red() - colour.red()) + qAbs(c.green() - colour.green()) + qAbs(c.blue() - colour.blue()) < 30;
        }
    }
    return count;
}

// The rows in which the colour appears inside the rectangle.
int rowsWithColour(const QImage &image, const QRect &rect, const QColor &colour)
{
    int rows = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        rows += countColour(image, QRect(rect.left(), y, rect.width(), 1), colour) > 0;
    return rows;
}

} // namespace

class TestPlacemarkLayerPlugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void identity();
    void markers_data();
    void markers();
    void names_data();
    void names();
    void iconsAreNeverFetched();
    void painterStateKept();

private:
    QImage renderFile(const QByteArray &kml);

    QTemporaryDir m_dir;
};

void TestPlacemarkLayerPlugin::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QImage white(8, 8, QImage::Format_ARGB32);
    white.fill(Qt::white);
    QVERIFY(white.save(m_dir.filePath(QStringLiteral("white.png"))));
    QFile broken(m_dir.filePath(QStringLiteral("broken.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG\r\n\x1a\n but not really");
}

// Written next to the icons and loaded from there, so relative icon references find them.
QImage TestPlacemarkLayerPlugin::renderFile(const QByteArray &kml)
{
    const QString path = m_dir.filePath(QStringLiteral("points.kml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(kml) != kml.size())
        return {};
    file.close();
    MapRenderer renderer;
    renderer.loadPlugins(MapRenderTest::pluginDirectory());
    if (!renderer.dataFacade()->loadFile(path))
        return {};
    return MapRenderTest::render(&renderer);
}

void TestPlacemarkLayerPlugin::identity()
{
    QPluginLoader loader(QDir(MapRenderTest::pluginDirectory()).filePath(QStringLiteral("libPlacemarkLayerPlugin.so")));
    QCOMPARE(loader.metaData().value(QStringLiteral("IID")).toString(),
             QStringLiteral("org.talvori.Mondri.RenderPluginInterface/1.05"));
    auto *plugin = qobject_cast<RenderPlugin *>(loader.instance());
    QVERIFY2(plugin, qPrintable(loader.errorString()));
    QCOMPARE(plugin->metaObject()->className(), "Mondri::PlacemarkLayerPlugin");
    QCOMPARE(plugin->displayName(), QStringLiteral("Placemark Plugin"));
    QCOMPARE(plugin->menuText(), QStringLiteral("&Placemark Plugin"));
    QCOMPARE(plugin->identifier(), QStringLiteral("Placemark-plugin"));
    QVERIFY(plugin->description().contains(QLatin1String("point placemarks")));
    QCOMPARE(plugin->backendTypes(), QStringList { QStringLiteral("geodata") });
    QCOMPARE(plugin->renderPolicy(), QStringLiteral("ALWAYS"));
    // Painted after the lines and areas of every other layer.
    QCOMPARE(plugin->renderPositions(), QStringList { QStringLiteral("ALWAYS_ON_TOP") });

    std::unique_ptr<RenderPlugin> fresh(plugin->newInstance());
    QVERIFY(fresh && !fresh->isInitialized());
    fresh->initialize();
    QVERIFY(fresh->isInitialized());

    // The map finds it beside the ShapeLayer plug-in, in the same directory, the same way.
    PluginManager manager;
    QCOMPARE(manager.loadPlugins(MapRenderTest::pluginDirectory()), 2);
    QVERIFY(manager.plugins().contains(plugin));

    // Attached to no content, it cannot paint; at other positions it has nothing to do.
    QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    GeoPainter painter(&image, &viewport);
    QVERIFY(!fresh->paint(&painter, &viewport, QStringLiteral("ALWAYS_ON_TOP"), nullptr));
    QVERIFY(fresh->paint(&painter, &viewport, QStringLiteral("HOVERS_ABOVE_SURFACE"), nullptr));
}

void TestPlacemarkLayerPlugin::markers_data()
{
    QTest::addColumn<QByteArray>("kml");
    QTest::addColumn<bool>("fromFile");
    QTest::addColumn<QList<QPoint>>("probes");
    QTest::addColumn<QList<QColor>>("colours");

    // The default disc reaches 6 pixels out; column 60 is beyond it, column 53 inside.
    QTest::newRow("default marker in the icon colour") << document(placemark("#red", point(5, 5))) << false
        << QList<QPoint> { { 50, 50 }, { 53, 50 }, { 50, 47 }, { 60, 50 } } << QList<QColor> { Red, Red, Red, Background };
    QTest::newRow("icon scale") << document(placemark("#big", point(5, 5))) << false
        << QList<QPoint> { { 58, 50 }, { 50, 42 }, { 65, 50 } } << QList<QColor> { Red, Red, Background };
    QTest::newRow("style that says nothing: white") << document(placemark("#none", point(5, 5))) << false
        << QList<QPoint> { { 50, 50 } } << QList<QColor> { QColor(Qt::white) };
    const QByteArray map = R"(<StyleMap id="m"><Pair><key>normal</key><styleUrl>#red</styleUrl></Pair>
        <Pair><key>highlight</key><styleUrl>#big</styleUrl></Pair></StyleMap>)";
    QTest::newRow("style map: normal entry") << document(map + placemark("#m", point(5, 5))) << false
        << QList<QPoint> { { 50, 50 }, { 60, 50 } } << QList<QColor> { Red, Background };
    QTest::newRow("scale zero hides the marker")
        << document("<Style id=\"gone\"><IconStyle><scale>0</scale></IconStyle></Style>" + placemark("#gone", point(5, 5)))
        << false << QList<QPoint> { { 50, 50 } } << QList<QColor> { Background };

    // An icon is scaled to 32 pixels (columns 34 to 65 here) and tinted with the icon colour.
    QTest::newRow("icon file, relative and tinted") << document(iconStyle("i", "white.png") + placemark("#i", point(5, 5)))
        << true << QList<QPoint> { { 50, 50 }, { 36, 36 }, { 64, 63 }, { 68, 50 } } << QList<QColor> { Green, Green, Green, Background };
    QTest::newRow("icon by file URL") << document(iconStyle("i", QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("white.png"))).toEncoded(), "ffff0000")
                                                 + placemark("#i", point(5, 5)))
        << false << QList<QPoint> { { 50, 50 }, { 64, 50 } } << QList<QColor> { Blue, Blue };
    QTest::newRow("missing icon: default marker") << document(iconStyle("i", "missing.png") + placemark("#i", point(5, 5)))
        << true << QList<QPoint> { { 50, 50 }, { 60, 50 } } << QList<QColor> { Green, Background };
    QTest::newRow("broken icon: default marker") << document(iconStyle("i", "broken.png") + placemark("#i", point(5, 5)))
        << true << QList<QPoint> { { 50, 50 }, { 60, 50 } } << QList<QColor> { Green, Background };
    QTest::newRow("relative icon of content not from a file: default marker")
        << document(iconStyle("i", "white.png") + placemark("#i", point(5, 5)))
        << false << QList<QPoint> { { 50, 50 }, { 60, 50 } } << QList<QColor> { Green, Background };

    const QByteArray two = "<MultiGeometry>" + point(2, 2) + "<LineString><coordinates>0,9 1,9</coordinates></LineString>"
        + point(8, 8) + "</MultiGeometry>";
    QTest::newRow("every point of a multi-geometry") << document(placemark("#red", two)) << false
        << QList<QPoint> { { 20, 80 }, { 80, 20 }, { 50, 50 } } << QList<QColor> { Red, Red, Background };
    // The areas' layer paints first; markers go on top.
    const QByteArray square = "<Polygon><outerBoundaryIs><LinearRing><coordinates>1,1 9,1 9,9 1,9 1,1</coordinates>"
                              "</LinearRing></outerBoundaryIs></Polygon>";
    QTest::newRow("marker above an area") << document(placemark("#red", point(5, 5)) + placemark("#area", square)) << false
        << QList<QPoint> { { 50, 50 }, { 30, 30 } } << QList<QColor> { Red, Blue };
    QTest::newRow("invisible root document") << document(placemark("#red", point(5, 5)), "<visibility>0</visibility>") << false
        << QList<QPoint> { { 50, 50 } } << QList<QColor> { Background };
}

void TestPlacemarkLayerPlugin::markers()
{
    QFETCH(QByteArray, kml);
    QFETCH(bool, fromFile);
    QFETCH(QList<QPoint>, probes);
    QFETCH(QList<QColor>, colours);
    QImage image;
    if (fromFile) {
        image = renderFile(kml);
    } else {
        MapRenderer renderer;
        QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), 2);
        QVERIFY(MapRenderTest::load(&renderer, kml));
        bool ok = false;
        image = MapRenderTest::render(&renderer, NormalQuality, &ok);
        QVERIFY(ok);
    }
    QVERIFY(!image.isNull());
    const QString mismatch = MapRenderTest::mismatch(image, probes, colours);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

// Names are written right of the marker, centred on its height, in the label style's colour and
// size; a placemark of several points is named once.
void TestPlacemarkLayerPlugin::names_data()
{
    QTest::addColumn<QByteArray>("kml");
    QTest::addColumn<int>("rowsRightOfFirst");   // rows of yellow right of the point at (5, 5)
    QTest::addColumn<int>("rowsElsewhere");      // rows of yellow left of it and right of (5, 2)
    QTest::newRow("named") << document(placemark("#named", point(5, 5), "Abc")) << 8 << 0;
    QTest::newRow("twice the size") << document(placemark("#bignamed", point(5, 5), "Abc")) << 16 << 0;
    QTest::newRow("no name") << document(placemark("#named", point(5, 5))) << 0 << 0;
    QTest::newRow("white by default") << document(placemark("#red", point(5, 5), "Abc")) << 0 << 0;
    QTest::newRow("once for several points")
        << document(placemark("#named", "<MultiGeometry>" + point(5, 5) + point(5, 2) + "</MultiGeometry>", "Abc")) << 8 << 0;
    QTest::newRow("scale zero hides the name")
        << document("<Style id=\"quiet\"><LabelStyle><color>ff00ffff</color><scale>0</scale></LabelStyle></Style>"
                    + placemark("#quiet", point(5, 5), "Abc")) << 0 << 0;
}

void TestPlacemarkLayerPlugin::names()
{
    QFETCH(QByteArray, kml);
    QFETCH(int, rowsRightOfFirst);
    QFETCH(int, rowsElsewhere);
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), 2);
    QVERIFY(MapRenderTest::load(&renderer, kml));
    const QImage image = MapRenderTest::render(&renderer);
    const QRect right(57, 30, 43, 40);
    const int rows = rowsWithColour(image, right, Yellow);
    // Glyph heights differ a little between fonts.
    QVERIFY2(qAbs(rows - rowsRightOfFirst) <= rowsRightOfFirst / 4 + 1, qPrintable(QString::number(rows)));
    if (rowsRightOfFirst > 0) {
        // Centred on the point's row.
        const int above = rowsWithColour(image, QRect(57, 30, 43, 20), Yellow);
        const int below = rowsWithColour(image, QRect(57, 50, 43, 20), Yellow);
        QVERIFY2(qAbs(above - below) <= 3, qPrintable(QStringLiteral("%1 above, %2 below").arg(above).arg(below)));
        QVERIFY(countColour(image, QRect(57, 40, 43, 20), Yellow) > 10);
    }
    const int elsewhere = rowsWithColour(image, QRect(0, 0, 43, 100), Yellow) + rowsWithColour(image, QRect(57, 72, 43, 28), Yellow);
    QCOMPARE(elsewhere, rowsElsewhere);
}

void TestPlacemarkLayerPlugin::iconsAreNeverFetched()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QByteArray href = "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/pin.png";
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), 2);
    QVERIFY(MapRenderTest::load(&renderer, document(iconStyle("web", href) + placemark("#web", point(5, 5)))));
    const QImage image = MapRenderTest::render(&renderer);
    QVERIFY(!server.waitForNewConnection(300));
    const QString mismatch = MapRenderTest::mismatch(image, { { 50, 50 }, { 60, 50 } }, { Green, Background });
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

// Other layers paint after this one with the same painter.
void TestPlacemarkLayerPlugin::painterStateKept()
{
    MapRenderer renderer;
    QCOMPARE(renderer.loadPlugins(MapRenderTest::pluginDirectory()), 2);
    QVERIFY(MapRenderTest::load(&renderer, document(placemark("#named", point(5, 5), "Abc"))));
    RenderPlugin *plugin = nullptr;
    for (RenderPlugin *candidate : renderer.plugins()) {
        if (candidate->identifier() == QLatin1String("Placemark-plugin"))
            plugin = candidate;
    }
    QVERIFY(plugin);
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    GeoPainter painter(&image, &viewport, HighQuality);
    const QPen pen(Qt::magenta, 3);
    const QBrush brush(Qt::yellow, Qt::Dense4Pattern);
    QFont font = painter.font();
    font.setPixelSize(29);
    painter.setPen(pen);
    painter.setBrush(brush);
    painter.setFont(font);
    QVERIFY(plugin->paint(&painter, &viewport, QStringLiteral("ALWAYS_ON_TOP"), nullptr));
    QCOMPARE(painter.pen(), pen);
    QCOMPARE(painter.brush(), brush);
    QCOMPARE(painter.font(), font);
    QVERIFY(!painter.testRenderHint(QPainter::Antialiasing));
}

QTEST_MAIN(TestPlacemarkLayerPlugin)
#include "tst_placemarklayerplugin.moc"

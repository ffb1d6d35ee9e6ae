// The painter's projection and its drawing of rings, polygons with holes and lines.

#include "geodatalinearring.h"
#include "geodatapolygon.h"
#include "geopainter.h"
#include "viewportparams.h"

#include <QImage>
#include <QTest>

using namespace Mondri;

namespace {

const QColor Background(10, 20, 30);

GeoDataLinearRing ring(std::initializer_list<QPointF> points)
{
    GeoDataLinearRing result;
    for (const QPointF &p : points)
        result.append(GeoDataCoordinates(p.x(), p.y()));
    return result;
}

QImage blankImage(int width = 100, int height = 100)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Background);
    return image;
}

} // namespace

class TestGeoPainter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void projection_data();
    void projection();
    void polygonWithHoles();
    void ringAndLine();
    void farOutside();
    void mapQuality_data();
    void mapQuality();
};

void TestGeoPainter::projection_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<GeoDataLatLonBox>("box");
    QTest::addColumn<QPointF>("position");
    QTest::addColumn<QPointF>("expected");
    const GeoDataLatLonBox tenDegrees(0, 0, 10, 10);
    QTest::newRow("north-west corner") << QSize(100, 100) << tenDegrees << QPointF(0, 10) << QPointF(0, 0);
    QTest::newRow("south-east corner") << QSize(100, 100) << tenDegrees << QPointF(10, 0) << QPointF(100, 100);
    QTest::newRow("centre") << QSize(100, 100) << tenDegrees << QPointF(5, 5) << QPointF(50, 50);
    // A box wider than the image's shape is centred vertically, with one scale for both axes.
    QTest::newRow("wide box") << QSize(100, 100) << GeoDataLatLonBox(-20, -5, 20, 5) << QPointF(-20, 5) << QPointF(0, 37.5);
    QTest::newRow("tall box") << QSize(200, 100) << GeoDataLatLonBox(100, -50, 110, -40) << QPointF(100, -40) << QPointF(50, 0);
}

void TestGeoPainter::projection()
{
    QFETCH(QSize, size);
    QFETCH(GeoDataLatLonBox, box);
    QFETCH(QPointF, position);
    QFETCH(QPointF, expected);
    const ViewportParams viewport(size, box);
    QCOMPARE(viewport.screenPosition(position.x(), position.y()), expected);
    // The image covers at least the requested box.
    const GeoDataLatLonBox visible = viewport.visibleBox();
    QVERIFY(visible.west() <= box.west() + 1e-9 && visible.east() >= box.east() - 1e-9);
    QVERIFY(visible.south() <= box.south() + 1e-9 && visible.north() >= box.north() - 1e-9);
}

void TestGeoPainter::polygonWithHoles()
{
    QImage image = blankImage();
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    GeoDataPolygon polygon;
    polygon.setOuterBoundary(ring({ { 1, 1 }, { 9, 1 }, { 9, 9 }, { 1, 9 } }));
    polygon.appendInnerBoundary(ring({ { 2, 2 }, { 4, 2 }, { 4, 4 }, { 2, 4 } }));
    polygon.appendInnerBoundary(ring({ { 6, 6 }, { 8, 6 }, { 8, 8 }, { 6, 8 } }));
    {
        GeoPainter painter(&image, &viewport);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::red);
        painter.drawPolygon(polygon);
    }
    QCOMPARE(image.pixelColor(50, 50), QColor(Qt::red));        // filled
    QCOMPARE(image.pixelColor(30, 70), Background);              // first hole (lon 3, lat 3)
    QCOMPARE(image.pixelColor(70, 30), Background);              // second hole (lon 7, lat 7)
    QCOMPARE(image.pixelColor(5, 5), Background);                // outside
}

void TestGeoPainter::ringAndLine()
{
    QImage image = blankImage();
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    {
        GeoPainter painter(&image, &viewport);
        painter.setPen(QPen(Qt::green, 3));
        painter.setBrush(Qt::NoBrush);
        // Three points: the ring closes itself back to the first.
        painter.drawPolygon(ring({ { 2, 2 }, { 8, 2 }, { 8, 8 } }));
        GeoDataLineString line;
        line.append(GeoDataCoordinates(1, 9.5));
        line.append(GeoDataCoordinates(9, 9.5));
        painter.setPen(QPen(Qt::blue, 1));
        painter.drawPolyline(line);
    }
    QCOMPARE(image.pixelColor(50, 80), QColor(Qt::green));   // bottom edge, lat 2
    QCOMPARE(image.pixelColor(50, 50), QColor(Qt::green));   // closing edge, the diagonal
    QCOMPARE(image.pixelColor(70, 60), Background);          // inside, unfilled
    QCOMPARE(image.pixelColor(50, 5), QColor(Qt::blue));
}

// Zoomed in far, shapes reach millions of pixels past the image; what lies in view must still be
// drawn correctly, and nothing may crash or stall.
void TestGeoPainter::farOutside()
{
    QImage image = blankImage();
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(5, 5, 5.00001, 5.00001));
    GeoDataPolygon polygon;
    polygon.setOuterBoundary(ring({ { -100, -80 }, { 100, -80 }, { 100, 5.000005 }, { -100, 5.000005 } }));
    polygon.appendInnerBoundary(ring({ { 50, 50 }, { 60, 50 }, { 60, 60 } }));
    GeoDataLineString line;
    line.append(GeoDataCoordinates(-170, 5.000002));
    line.append(GeoDataCoordinates(170, 5.000002));
    {
        GeoPainter painter(&image, &viewport);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::red);
        painter.drawPolygon(polygon);
        painter.setPen(QPen(Qt::blue, 1));
        painter.drawPolyline(line);
    }
    QCOMPARE(image.pixelColor(50, 70), QColor(Qt::red));     // below the polygon's top edge
    QCOMPARE(image.pixelColor(50, 30), Background);          // above it
    QCOMPARE(image.pixelColor(50, 80), QColor(Qt::blue));    // the line across
}

void TestGeoPainter::mapQuality_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("smooth");
    QTest::newRow("outline") << int(OutlineQuality) << false;
    QTest::newRow("normal") << int(NormalQuality) << false;
    QTest::newRow("high") << int(HighQuality) << true;
    QTest::newRow("print") << int(PrintQuality) << true;
}

void TestGeoPainter::mapQuality()
{
    QFETCH(int, quality);
    QFETCH(bool, smooth);
    QImage image = blankImage(4, 4);
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 1, 1));
    GeoPainter painter(&image, &viewport, MapQuality(quality));
    QCOMPARE(painter.mapQuality(), MapQuality(quality));
    painter.autoMapQuality();
    QCOMPARE(painter.testRenderHint(QPainter::Antialiasing), smooth);
}

QTEST_MAIN(TestGeoPainter)
#include "tst_geopainter.moc"

// The painter's projection and its drawing of rings, polygons with holes and lines.

#include "geodatalinearring.h"
#include "geodatapolygon.h"
#include "geopainter.h"
#include "viewportparams.h"

#include <QImage>
#include <QTest>

#include <cmath>

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
    void linesWithoutSmoothing_data();
    void linesWithoutSmoothing();
    void linesThatNeedThePainter_data();
    void linesThatNeedThePainter();
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

namespace {

// Draws the points (in degrees, 10 pixels each) as a polyline or, closed, as an unfilled ring.
QImage drawLines(const QList<QPointF> &points, bool closed, const QPen &pen, bool clipped)
{
    QImage image = blankImage();
    const ViewportParams viewport(image.size(), GeoDataLatLonBox(0, 0, 10, 10));
    GeoPainter painter(&image, &viewport);
    // A clip, even one around the whole image, leaves every pixel to the painter.
    if (clipped)
        painter.setClipRect(image.rect());
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    GeoDataLinearRing line;
    for (const QPointF &p : points)
        line.append(GeoDataCoordinates(p.x(), p.y()));
    if (closed)
        painter.drawPolygon(line);
    else
        painter.drawPolyline(line);
    return image;
}

int countDifferent(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    }
    return count;
}

} // namespace

// Narrow opaque lines are drawn straight into the image, for speed; they must land on the pixels
// the painter itself would fill, give or take one at the ends and joins.
void TestGeoPainter::linesWithoutSmoothing_data()
{
    QTest::addColumn<qreal>("width");
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<bool>("closed");
    QTest::newRow("hairline, shallow") << 0.0 << QList<QPointF> { { 1, 1 }, { 9, 6 } } << false;
    QTest::newRow("one pixel, steep") << 1.0 << QList<QPointF> { { 2, 1 }, { 3, 9 } } << false;
    QTest::newRow("one and a half, zigzag") << 1.5 << QList<QPointF> { { 1, 5 }, { 3, 8 }, { 5, 2 }, { 9, 4 } } << false;
    QTest::newRow("two pixels, zigzag") << 2.0 << QList<QPointF> { { 1, 5 }, { 3, 8 }, { 5, 2 }, { 9, 4 } } << false;
    QTest::newRow("two pixels, ring") << 2.0 << QList<QPointF> { { 2, 2 }, { 8, 2 }, { 5, 8 } } << true;
    QTest::newRow("three pixels, level") << 3.0 << QList<QPointF> { { 1, 5.04 }, { 9, 5.04 } } << false;
    QTest::newRow("three pixels, diagonal") << 3.0 << QList<QPointF> { { 1, 1 }, { 9, 9 } } << false;
    QTest::newRow("partly outside") << 2.0 << QList<QPointF> { { -3, 4 }, { 5, 12 }, { 13, 4 } } << false;
}

void TestGeoPainter::linesWithoutSmoothing()
{
    QFETCH(qreal, width);
    QFETCH(QList<QPointF>, points);
    QFETCH(bool, closed);
    const QPen pen(Qt::green, width);
    const QImage direct = drawLines(points, closed, pen, false);
    const QImage painted = drawLines(points, closed, pen, true);
    int drawn = 0;
    for (int y = 0; y < painted.height(); ++y) {
        for (int x = 0; x < painted.width(); ++x)
            drawn += painted.pixelColor(x, y) == QColor(Qt::green);
    }
    QVERIFY(drawn > 50);
    const int different = countDifferent(direct, painted);
    const int allowed = int(points.size() + 1) * int(std::ceil(std::max(width, 1.0)) + 1);
    QVERIFY2(different <= allowed, qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(different).arg(drawn)));
}

// Translucent, dashed, wide and smoothed lines are the painter's: exactly what it draws.
void TestGeoPainter::linesThatNeedThePainter_data()
{
    QTest::addColumn<QPen>("pen");
    QTest::addColumn<bool>("smooth");
    QTest::newRow("translucent") << QPen(QColor(0, 255, 0, 128), 2) << false;
    QTest::newRow("dashed") << QPen(Qt::green, 2, Qt::DashLine) << false;
    QTest::newRow("wide") << QPen(Qt::green, 4) << false;
    QTest::newRow("smoothed") << QPen(Qt::green, 2) << true;
}

void TestGeoPainter::linesThatNeedThePainter()
{
    QFETCH(QPen, pen);
    QFETCH(bool, smooth);
    QImage images[2] = { blankImage(), blankImage() };
    const ViewportParams viewport(images[0].size(), GeoDataLatLonBox(0, 0, 10, 10));
    GeoDataLineString line;
    for (const QPointF &p : { QPointF(1, 5), QPointF(3, 8), QPointF(5, 2), QPointF(9, 4) })
        line.append(GeoDataCoordinates(p.x(), p.y()));
    for (int clipped = 0; clipped < 2; ++clipped) {
        GeoPainter painter(&images[clipped], &viewport, smooth ? HighQuality : NormalQuality);
        painter.autoMapQuality();
        if (clipped)
            painter.setClipRect(images[clipped].rect());
        painter.setPen(pen);
        painter.drawPolyline(line);
    }
    QCOMPARE(images[0], images[1]);
}

QTEST_MAIN(TestGeoPainter)
#include "tst_geopainter.moc"

#pragma once

#include <QPointF>
#include <QRgb>
#include <QtGlobal>

class QImage;
class QPolygonF;

namespace Mondri {

// Draws opaque, unsmoothed lines of one to three pixels straight into a 32-bit image. A map
// holds hundreds of thousands of short segments, and the raster engine's set-up for each one
// costs far more than its few pixels; here a segment costs little more than its pixels.
//
// Pixels are chosen by the raster engine's own rules for unsmoothed lines, so the result matches
// what it draws for the same pen, give or take a pixel at the ends and joins. Pixels outside the
// image are left alone.
class SolidLineRasterizer
{
public:
    // The image must be of a supported format, detached, and stay alive while the rasterizer is
    // used. Widths up to one pixel draw hairlines; widths above three, three pixels.
    SolidLineRasterizer(QImage *image, QRgb color, double width);

    // The image formats the rasterizer can write.
    static bool supports(const QImage &image);

    void drawLine(QPointF from, QPointF to);
    // Every segment from one point to the next.
    void drawPolyline(const QPolygonF &points);

private:
    template<bool Horizontal>
    void walk(QPointF from, QPointF to);
    template<bool Horizontal>
    void plotAcross(int along, double position, double half);

    uchar *m_bits;
    qsizetype m_bytesPerLine;
    int m_width;
    int m_height;
    quint32 m_pixel;
    double m_halfWidth;
    bool m_hairline;
};

} // namespace Mondri

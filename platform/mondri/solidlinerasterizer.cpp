#include "solidlinerasterizer.h"

#include <QImage>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace Mondri {

namespace {

// std::floor is a library call on the baseline instruction set; this is one conversion. Values
// stay far inside the int range: the painter hands over nothing beyond a million pixels.
inline int floorToInt(double value)
{
    const int truncated = int(value);
    return truncated - (value < truncated);
}

} // namespace

SolidLineRasterizer::SolidLineRasterizer(QImage *image, QRgb color, double width)
    : m_bits(image->bits())
    , m_bytesPerLine(image->bytesPerLine())
    , m_width(image->width())
    , m_height(image->height())
    , m_pixel(0xff000000u | (color & 0x00ffffffu))
    , m_halfWidth(std::min(width, 3.0) / 2.0)
    , m_hairline(width <= 1.0)
{
}

bool SolidLineRasterizer::supports(const QImage &image)
{
    // Opaque pixels look the same in all three formats.
    const QImage::Format format = image.format();
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
        || format == QImage::Format_ARGB32_Premultiplied;
}

void SolidLineRasterizer::drawPolyline(const QPolygonF &points)
{
    for (qsizetype i = 1; i < points.size(); ++i)
        drawLine(points[i - 1], points[i]);
}

// Walks the pixel columns (or rows) the segment crosses and fills, in each, the pixels across the
// line there. A hairline takes one pixel per column, sampled where the column starts, and ends on
// the columns of its end points, as the raster engine's own hairlines do. A wider line is the
// rectangle around the segment, its square ends reaching half the width beyond the end points,
// sampled at pixel centres like the engine's wide lines.
void SolidLineRasterizer::drawLine(QPointF from, QPointF to)
{
    if (std::abs(to.x() - from.x()) >= std::abs(to.y() - from.y()))
        walk<true>(from, to);
    else
        walk<false>(from, to);
}

template<bool Horizontal>
void SolidLineRasterizer::walk(QPointF from, QPointF to)
{
    double start = Horizontal ? from.x() : from.y();
    double end = Horizontal ? to.x() : to.y();
    double position = Horizontal ? from.y() : from.x();
    double target = Horizontal ? to.y() : to.x();
    if (start > end) {
        std::swap(start, end);
        std::swap(position, target);
    }
    const double slope = end > start ? (target - position) / (end - start) : 0.0;
    const int limit = (Horizontal ? m_width : m_height) - 1;
    if (m_hairline) {
        const int first = std::max(floorToInt(start), 0);
        const int last = std::min(floorToInt(end), limit);
        for (int i = first; i <= last; ++i)
            plotAcross<Horizontal>(i, position + (std::clamp(double(i), start, end) - start) * slope, 0.5);
        return;
    }
    // The square ends' reach along this axis, and the rectangle's extent across it.
    const double length = std::sqrt((end - start) * (end - start) + (target - position) * (target - position));
    const double cosine = length > 0 ? (end - start) / length : 1.0;
    const double reach = m_halfWidth * cosine;
    const double halfAcross = m_halfWidth / cosine;
    const int first = std::max(-floorToInt(-(start - reach - 0.5)), 0);
    const int last = std::min(-floorToInt(-(end + reach - 0.5)) - 1, limit);
    for (int i = first; i <= last; ++i)
        plotAcross<Horizontal>(i, position + (i + 0.5 - start) * slope, halfAcross);
}

// The pixels whose centres lie in (position - half, position + half], at least one.
template<bool Horizontal>
inline void SolidLineRasterizer::plotAcross(int along, double position, double half)
{
    const int first = floorToInt(position - half - 0.5) + 1;
    const int last = std::max(floorToInt(position + half - 0.5), first);
    const int limit = (Horizontal ? m_height : m_width) - 1;
    for (int i = std::max(first, 0); i <= std::min(last, limit); ++i) {
        const int x = Horizontal ? along : i;
        const int y = Horizontal ? i : along;
        reinterpret_cast<quint32 *>(m_bits + y * m_bytesPerLine)[x] = m_pixel;
    }
}

} // namespace Mondri

#include "geopainter.h"

#include "geodatalinearring.h"
#include "geodatalinestring.h"
#include "geodatapolygon.h"
#include "solidlinerasterizer.h"
#include "viewportparams.h"

#include <QPainterPath>

#include <algorithm>

namespace Mondri {

namespace {

// Beyond this many pixels from the image the raster engine's fixed-point arithmetic is no longer
// safe, so such shapes are clipped here first. Ordinary views never come near it.
constexpr double SafeCoordinate = 1 << 20;

// Liang-Barsky: clips the segment a-b to the rectangle; false when nothing of it is inside.
bool clipSegment(QPointF &a, QPointF &b, const QRectF &rect)
{
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const double p[4] = { -dx, dx, -dy, dy };
    const double q[4] = { a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(), rect.bottom() - a.y() };
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    a = start + QPointF(dx * t0, dy * t0);
    b = start + QPointF(dx * t1, dy * t1);
    return true;
}

} // namespace

GeoPainter::GeoPainter(QPaintDevice *device, const ViewportParams *viewport, MapQuality quality)
    : QPainter(device), m_viewport(viewport), m_quality(quality)
{
}

void GeoPainter::autoMapQuality()
{
    const bool smooth = m_quality == HighQuality || m_quality == PrintQuality;
    setRenderHint(QPainter::Antialiasing, smooth);
    setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

void GeoPainter::setPen(const QPen &pen)
{
    ++m_penChanges;
    QPainter::setPen(pen);
}

void GeoPainter::setBrush(const QBrush &brush)
{
    ++m_brushChanges;
    QPainter::setBrush(brush);
}

bool GeoPainter::project(const GeoDataLineString &line, bool closed)
{
    const auto &coordinates = line.coordinates();
    m_points.resize(qsizetype(coordinates.size()));
    if (coordinates.empty())
        return false;
    QPointF *out = m_points.data();
    double minX = std::numeric_limits<double>::max();
    double minY = minX;
    double maxX = std::numeric_limits<double>::lowest();
    double maxY = maxX;
    for (const GeoDataCoordinates &position : coordinates) {
        const QPointF point = m_viewport->screenPosition(position.longitude(), position.latitude());
        minX = std::min(minX, point.x());
        maxX = std::max(maxX, point.x());
        minY = std::min(minY, point.y());
        maxY = std::max(maxY, point.y());
        *out++ = point;
    }
    if (closed && m_points.size() > 1 && m_points.front() != m_points.back())
        m_points.append(m_points.front());
    m_bounds = QRectF(QPointF(minX, minY), QPointF(maxX, maxY));

    // A wide pen reaches beyond the points themselves.
    const QSize size = m_viewport->size();
    const double margin = pen().widthF() + 2.0;
    return maxX >= -margin && minX <= size.width() + margin && maxY >= -margin && minY <= size.height() + margin;
}

void GeoPainter::drawPolyline(const GeoDataLineString &lineString, const QString &label, LabelPositionFlags labelPositions)
{
    if (lineString.size() < 2 || !project(lineString, false))
        return;
    const QRectF safe(-SafeCoordinate, -SafeCoordinate, 2 * SafeCoordinate, 2 * SafeCoordinate);
    if (safe.contains(m_bounds)) {
        const StrokeMode mode = strokeMode();
        if (mode == StrokeMode::Painter) {
            QPainter::drawPolyline(m_points.constData(), int(m_points.size()));
        } else {
            collectSegments(m_points);
            strokeSegments(mode);
        }
    } else {
        // Draw the visible pieces one segment at a time; this only happens when zoomed in very far.
        const QRectF view = clipRect();
        for (qsizetype i = 1; i < m_points.size(); ++i) {
            QPointF a = m_points[i - 1];
            QPointF b = m_points[i];
            if (clipSegment(a, b, view))
                QPainter::drawLine(a, b);
        }
    }
    if (!label.isEmpty())
        drawLabel(label, labelPositions);
}

void GeoPainter::drawPolygon(const GeoDataLinearRing &ring, Qt::FillRule fillRule)
{
    if (ring.size() < 2 || !project(ring, true))
        return;
    const QRectF safe(-SafeCoordinate, -SafeCoordinate, 2 * SafeCoordinate, 2 * SafeCoordinate);
    if (safe.contains(m_bounds)) {
        const StrokeMode mode = strokeMode();
        if (mode == StrokeMode::Painter) {
            QPainter::drawPolygon(m_points.constData(), int(m_points.size()), fillRule);
            return;
        }
        // Filled without the pen, then outlined on top, as the painter would.
        const QPen outline = pen();
        QPainter::setPen(Qt::NoPen);
        QPainter::drawPolygon(m_points.constData(), int(m_points.size()), fillRule);
        QPainter::setPen(outline);
        collectSegments(m_points);
        strokeSegments(mode);
        return;
    }
    QPainterPath path;
    path.setFillRule(fillRule);
    path.addPolygon(m_points);
    path.closeSubpath();
    QPainterPath view;
    view.addRect(clipRect());
    QPainter::drawPath(path.intersected(view));
}

void GeoPainter::appendRingToPath(QPainterPath *path, const GeoDataLinearRing &ring)
{
    if (ring.size() < 2)
        return;
    project(ring, true);
    path->addPolygon(m_points);
    path->closeSubpath();
}

void GeoPainter::drawPolygon(const GeoDataPolygon &polygon, Qt::FillRule fillRule)
{
    const GeoDataLinearRing &outer = polygon.outerBoundary();
    if (polygon.innerBoundaries().empty()) {
        drawPolygon(outer, fillRule);
        return;
    }
    // The holes lie inside the outer ring, so its bounds decide whether anything can be seen.
    if (outer.size() < 2 || !project(outer, true))
        return;
    const QRectF outerBounds = m_bounds;
    QPainterPath path;
    path.setFillRule(fillRule);
    path.addPolygon(m_points);
    path.closeSubpath();
    for (const GeoDataLinearRing &inner : polygon.innerBoundaries())
        appendRingToPath(&path, inner);
    const QRectF safe(-SafeCoordinate, -SafeCoordinate, 2 * SafeCoordinate, 2 * SafeCoordinate);
    if (!safe.contains(outerBounds) || !safe.contains(path.controlPointRect())) {
        QPainterPath view;
        view.addRect(clipRect());
        path = path.intersected(view);
    } else if (const StrokeMode mode = strokeMode(); mode != StrokeMode::Painter) {
        fillPath(path, brush());
        collectSegments(path);
        strokeSegments(mode);
        return;
    }
    QPainter::drawPath(path);
}

// Separate segments overlap at every vertex, which only an opaque pen hides, and their ends stand
// in for the joins only while the pen is narrow. Smoothed qualities keep the painter's own outline.
GeoPainter::StrokeMode GeoPainter::strokeMode() const
{
    const QPen &current = pen();
    if (current.style() != Qt::SolidLine || current.brush().style() != Qt::SolidPattern
        || current.color().alpha() != 255 || current.widthF() > 3.0 || testRenderHint(QPainter::Antialiasing))
        return StrokeMode::Painter;
    if (directImage())
        return StrokeMode::Direct;
    return current.widthF() > 1.0 && current.capStyle() == Qt::SquareCap ? StrokeMode::Segments : StrokeMode::Painter;
}

// The image lines may be written into directly: one the painter would change pixel by pixel in
// the same way, with nothing (clip, transform, blending) between the pen and the pixels.
QImage *GeoPainter::directImage() const
{
    QPaintDevice *target = device();
    if (!target || target->devType() != QInternal::Image)
        return nullptr;
    auto *image = static_cast<QImage *>(target);
    if (!SolidLineRasterizer::supports(*image) || !image->isDetached() || image->devicePixelRatio() != 1.0)
        return nullptr;
    if (hasClipping() || compositionMode() != QPainter::CompositionMode_SourceOver || opacity() != 1.0
        || combinedTransform().type() != QTransform::TxNone)
        return nullptr;
    return image;
}

void GeoPainter::collectSegments(const QPolygonF &points)
{
    m_segments.resize(std::max<qsizetype>(points.size() - 1, 0));
    for (qsizetype i = 1; i < points.size(); ++i)
        m_segments[i - 1] = QLineF(points[i - 1], points[i]);
}

// The path holds rings of straight lines only: each one starts with a move and is closed.
void GeoPainter::collectSegments(const QPainterPath &path)
{
    m_segments.clear();
    for (int i = 1; i < path.elementCount(); ++i) {
        const QPainterPath::Element &element = path.elementAt(i);
        if (!element.isMoveTo())
            m_segments.append(QLineF(path.elementAt(i - 1), element));
    }
}

void GeoPainter::strokeSegments(StrokeMode mode)
{
    if (mode == StrokeMode::Segments) {
        QPainter::drawLines(m_segments.constData(), int(m_segments.size()));
        return;
    }
    SolidLineRasterizer lines(directImage(), pen().color().rgb(), pen().widthF());
    for (const QLineF &segment : std::as_const(m_segments))
        lines.drawLine(segment.p1(), segment.p2());
}

QRectF GeoPainter::clipRect() const
{
    // Far enough out that the clip edge and the pen drawn along it stay outside the image.
    const double margin = pen().widthF() + 100.0;
    return QRectF(QPointF(0, 0), QSizeF(m_viewport->size())).adjusted(-margin, -margin, margin, margin);
}

void GeoPainter::drawLabel(const QString &label, LabelPositionFlags labelPositions)
{
    // m_points still holds the line just drawn.
    if (labelPositions & LineStart)
        drawText(m_points.front(), label);
    if (labelPositions & LineCenter) {
        const qsizetype middle = m_points.size() / 2;
        const QPointF centre = m_points.size() % 2 ? m_points[middle] : (m_points[middle - 1] + m_points[middle]) / 2.0;
        drawText(centre, label);
    }
    if (labelPositions & LineEnd)
        drawText(m_points.back(), label);
}

} // namespace Mondri

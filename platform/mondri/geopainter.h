#pragma once

#include "mondriglobal.h"

#include <QPainter>
#include <QPolygonF>

namespace Mondri {

class GeoDataLinearRing;
class GeoDataLineString;
class GeoDataPolygon;
class ViewportParams;

// A QPainter that draws geometries given in degrees through the viewport's projection, at a map
// quality. Shapes that fall wholly outside the image are skipped before they reach the raster
// engine. Without smoothing, lines of an opaque pen up to three pixels wide are drawn segment by
// segment, straight into the pixels of an image when nothing lies between pen and pixels: that is
// most of a map's lines, and the painter's set-up for each short segment would cost far more. setPen() and setBrush() with a QPen or QBrush are counted, so callers can see how often
// the painter state changes during a frame.
class GeoPainter : public QPainter
{
public:
    GeoPainter(QPaintDevice *device, const ViewportParams *viewport, MapQuality quality = NormalQuality);

    const ViewportParams *viewport() const { return m_viewport; }
    MapQuality mapQuality() const { return m_quality; }
    // Sets the render hints that belong to the map quality: smooth edges from high quality up.
    void autoMapQuality();

    using QPainter::drawPolygon;
    using QPainter::drawPolyline;
    // Outer ring filled, inner rings cut out as holes.
    void drawPolygon(const GeoDataPolygon &polygon, Qt::FillRule fillRule = Qt::OddEvenFill);
    void drawPolygon(const GeoDataLinearRing &ring, Qt::FillRule fillRule = Qt::OddEvenFill);
    void drawPolyline(const GeoDataLineString &lineString, const QString &label = QString(),
                      LabelPositionFlags labelPositions = LineCenter);

    using QPainter::setBrush;
    using QPainter::setPen;
    void setPen(const QPen &pen);
    void setBrush(const QBrush &brush);
    int penChangeCount() const { return m_penChanges; }
    int brushChangeCount() const { return m_brushChanges; }

private:
    // Projects the line into m_points; false when nothing of it can be seen.
    bool project(const GeoDataLineString &line, bool closed);
    void appendRingToPath(QPainterPath *path, const GeoDataLinearRing &ring);
    QRectF clipRect() const;
    void drawLabel(const QString &label, LabelPositionFlags labelPositions);
    // How the current pen's lines are drawn: by the painter, as separate segments by the painter,
    // or straight into the image.
    enum class StrokeMode { Painter, Segments, Direct };
    StrokeMode strokeMode() const;
    QImage *directImage() const;
    void collectSegments(const QPolygonF &points);
    void collectSegments(const QPainterPath &path);
    void strokeSegments(StrokeMode mode);


    const ViewportParams *m_viewport;
    MapQuality m_quality;
    QPolygonF m_points;
    QList<QLineF> m_segments;
    QRectF m_bounds;
    int m_penChanges = 0;
    int m_brushChanges = 0;
};

} // namespace Mondri

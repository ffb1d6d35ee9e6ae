#pragma once

#include "geodatalatlonbox.h"

#include <QPointF>
#include <QSize>

namespace Mondri {

// What part of the globe a map image shows and how positions land on it. The projection is
// equirectangular: longitude and latitude map linearly to x and y with one scale for both, so the
// requested box is fitted into the image, centred, and the image may show more than was asked for
// in one direction.
class ViewportParams
{
public:
    ViewportParams(const QSize &size, const GeoDataLatLonBox &box);

    QSize size() const { return m_size; }
    // The box asked for; visibleBox() is what the whole image covers.
    GeoDataLatLonBox requestedBox() const { return m_requested; }
    GeoDataLatLonBox visibleBox() const;
    double pixelsPerDegree() const { return m_scale; }

    QPointF screenPosition(double longitude, double latitude) const
    {
        return QPointF(m_originX + longitude * m_scale, m_originY - latitude * m_scale);
    }

private:
    QSize m_size;
    GeoDataLatLonBox m_requested;
    double m_scale = 1.0;
    double m_originX = 0.0;
    double m_originY = 0.0;
};

} // namespace Mondri

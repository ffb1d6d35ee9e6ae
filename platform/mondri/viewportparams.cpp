#include "viewportparams.h"

#include <algorithm>

namespace Mondri {

ViewportParams::ViewportParams(const QSize &size, const GeoDataLatLonBox &box)
    : m_size(size), m_requested(box)
{
    // A degenerate box (one point, or nothing) still needs a finite scale.
    const double width = std::max(box.width(), 1e-9);
    const double height = std::max(box.height(), 1e-9);
    m_scale = std::min(size.width() / width, size.height() / height);
    const double marginX = (size.width() - width * m_scale) / 2.0;
    const double marginY = (size.height() - height * m_scale) / 2.0;
    m_originX = marginX - box.west() * m_scale;
    m_originY = marginY + box.north() * m_scale;
}

GeoDataLatLonBox ViewportParams::visibleBox() const
{
    const double west = -m_originX / m_scale;
    const double north = m_originY / m_scale;
    return GeoDataLatLonBox(west, north - m_size.height() / m_scale, west + m_size.width() / m_scale, north);
}

} // namespace Mondri

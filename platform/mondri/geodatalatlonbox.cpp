#include "geodatalatlonbox.h"

#include <algorithm>

namespace Mondri {

GeoDataLatLonBox::GeoDataLatLonBox(double west, double south, double east, double north)
    : m_west(west), m_south(south), m_east(east), m_north(north), m_empty(false)
{
}

void GeoDataLatLonBox::extend(const GeoDataCoordinates &position)
{
    const double lon = position.longitude();
    const double lat = position.latitude();
    if (m_empty) {
        *this = GeoDataLatLonBox(lon, lat, lon, lat);
        return;
    }
    m_west = std::min(m_west, lon);
    m_east = std::max(m_east, lon);
    m_south = std::min(m_south, lat);
    m_north = std::max(m_north, lat);
}

void GeoDataLatLonBox::extend(const GeoDataLatLonBox &other)
{
    if (other.isEmpty())
        return;
    extend(GeoDataCoordinates(other.west(), other.south()));
    extend(GeoDataCoordinates(other.east(), other.north()));
}

GeoDataLatLonBox GeoDataLatLonBox::marginAdded(double fraction, double minimum) const
{
    if (m_empty)
        return *this;
    const double dx = std::max(width() * fraction, minimum);
    const double dy = std::max(height() * fraction, minimum);
    return GeoDataLatLonBox(m_west - dx, std::max(m_south - dy, -90.0), m_east + dx, std::min(m_north + dy, 90.0));
}

} // namespace Mondri

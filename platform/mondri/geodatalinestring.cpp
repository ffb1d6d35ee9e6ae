#include "geodatalinestring.h"

namespace Mondri {

GeoDataLatLonBox GeoDataLineString::latLonBox() const
{
    GeoDataLatLonBox box;
    for (const GeoDataCoordinates &position : m_coordinates)
        box.extend(position);
    return box;
}

} // namespace Mondri

#include "geodatapoint.h"

namespace Mondri {

GeoDataLatLonBox GeoDataPoint::latLonBox() const
{
    GeoDataLatLonBox box;
    box.extend(m_position);
    return box;
}

} // namespace Mondri

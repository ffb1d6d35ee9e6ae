#include "geodataplacemark.h"

namespace Mondri {

GeoDataPlacemark::~GeoDataPlacemark() = default;

GeoDataObject *GeoDataPlacemark::child(int row) const
{
    return row == 0 ? m_geometry.get() : nullptr;
}

void GeoDataPlacemark::setGeometry(std::unique_ptr<GeoDataGeometry> geometry)
{
    m_geometry = std::move(geometry);
    if (m_geometry)
        adopt(m_geometry.get(), this, 0);
}

} // namespace Mondri

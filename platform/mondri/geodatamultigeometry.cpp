#include "geodatamultigeometry.h"

namespace Mondri {

GeoDataMultiGeometry::~GeoDataMultiGeometry() = default;

GeoDataLatLonBox GeoDataMultiGeometry::latLonBox() const
{
    GeoDataLatLonBox box;
    for (const auto &geometry : m_geometries)
        box.extend(geometry->latLonBox());
    return box;
}

GeoDataObject *GeoDataMultiGeometry::child(int row) const
{
    if (row < 0 || row >= childCount())
        return nullptr;
    return m_geometries[row].get();
}

GeoDataGeometry *GeoDataMultiGeometry::append(std::unique_ptr<GeoDataGeometry> geometry)
{
    adopt(geometry.get(), this, childCount());
    m_geometries.push_back(std::move(geometry));
    return m_geometries.back().get();
}

} // namespace Mondri

#pragma once

#include "geodatageometry.h"

#include <memory>
#include <vector>

namespace Mondri {

// A group of geometries (possibly other groups) that belong to one placemark. It owns them.
class GeoDataMultiGeometry : public GeoDataGeometry
{
public:
    GeoDataMultiGeometry() = default;
    GeoDataMultiGeometry(const GeoDataMultiGeometry &) = delete;
    GeoDataMultiGeometry &operator=(const GeoDataMultiGeometry &) = delete;
    ~GeoDataMultiGeometry() override;

    GeometryId geometryId() const override { return MultiGeometryId; }
    GeoDataLatLonBox latLonBox() const override;

    int childCount() const override { return int(m_geometries.size()); }
    GeoDataObject *child(int row) const override;

    GeoDataGeometry *geometry(int row) const { return m_geometries.at(row).get(); }
    GeoDataGeometry *append(std::unique_ptr<GeoDataGeometry> geometry);

private:
    std::vector<std::unique_ptr<GeoDataGeometry>> m_geometries;
};

} // namespace Mondri

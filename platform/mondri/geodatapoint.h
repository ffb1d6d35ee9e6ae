#pragma once

#include "geodatacoordinates.h"
#include "geodatageometry.h"

namespace Mondri {

class GeoDataPoint : public GeoDataGeometry
{
public:
    explicit GeoDataPoint(const GeoDataCoordinates &position = {}) : m_position(position) {}

    GeometryId geometryId() const override { return PointId; }
    GeoDataLatLonBox latLonBox() const override;

    GeoDataCoordinates coordinates() const { return m_position; }

private:
    GeoDataCoordinates m_position;
};

} // namespace Mondri

#pragma once

#include "geodatageometry.h"
#include "geodatalinearring.h"

#include <vector>

namespace Mondri {

// An area bounded by one outer ring, with holes cut by the inner rings.
class GeoDataPolygon : public GeoDataGeometry
{
public:
    GeometryId geometryId() const override { return PolygonId; }
    GeoDataLatLonBox latLonBox() const override { return m_outer.latLonBox(); }

    const GeoDataLinearRing &outerBoundary() const { return m_outer; }
    GeoDataLinearRing &outerBoundary() { return m_outer; }
    void setOuterBoundary(GeoDataLinearRing ring) { m_outer = std::move(ring); }

    const std::vector<GeoDataLinearRing> &innerBoundaries() const { return m_inner; }
    void appendInnerBoundary(GeoDataLinearRing ring) { m_inner.push_back(std::move(ring)); }

private:
    GeoDataLinearRing m_outer;
    std::vector<GeoDataLinearRing> m_inner;
};

} // namespace Mondri

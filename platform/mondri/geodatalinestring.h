#pragma once

#include "geodatacoordinates.h"
#include "geodatageometry.h"

#include <vector>

namespace Mondri {

// An open chain of positions.
class GeoDataLineString : public GeoDataGeometry
{
public:
    GeometryId geometryId() const override { return LineStringId; }
    GeoDataLatLonBox latLonBox() const override;

    const std::vector<GeoDataCoordinates> &coordinates() const { return m_coordinates; }
    int size() const { return int(m_coordinates.size()); }
    bool isEmpty() const { return m_coordinates.empty(); }
    void append(const GeoDataCoordinates &position) { m_coordinates.push_back(position); }
    void append(const std::vector<GeoDataCoordinates> &positions)
    {
        m_coordinates.insert(m_coordinates.end(), positions.begin(), positions.end());
    }
    void reserve(int count) { m_coordinates.reserve(count); }

private:
    std::vector<GeoDataCoordinates> m_coordinates;
};

} // namespace Mondri

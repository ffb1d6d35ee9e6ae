#pragma once

#include "geodatacoordinates.h"

namespace Mondri {

// A longitude/latitude rectangle in degrees. Boxes never wrap across the antimeridian here:
// west is always less than or equal to east.
class GeoDataLatLonBox
{
public:
    GeoDataLatLonBox() = default;
    GeoDataLatLonBox(double west, double south, double east, double north);

    double west() const { return m_west; }
    double south() const { return m_south; }
    double east() const { return m_east; }
    double north() const { return m_north; }
    double width() const { return m_east - m_west; }
    double height() const { return m_north - m_south; }

    // Empty until something is added; an empty box has no extent at all.
    bool isEmpty() const { return m_empty; }
    void extend(const GeoDataCoordinates &position);
    void extend(const GeoDataLatLonBox &other);
    // Grows the box on every side by the given fraction of its size (at least minimum degrees).
    GeoDataLatLonBox marginAdded(double fraction, double minimum) const;

    bool operator==(const GeoDataLatLonBox &other) const = default;

private:
    double m_west = 0.0;
    double m_south = 0.0;
    double m_east = 0.0;
    double m_north = 0.0;
    bool m_empty = true;
};

} // namespace Mondri

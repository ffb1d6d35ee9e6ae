#pragma once

namespace Mondri {

// A position on the globe in degrees (longitude east, latitude north) and metres above sea level.
class GeoDataCoordinates
{
public:
    GeoDataCoordinates() = default;
    GeoDataCoordinates(double longitude, double latitude, double altitude = 0.0)
        : m_longitude(longitude), m_latitude(latitude), m_altitude(altitude) {}

    double longitude() const { return m_longitude; }
    double latitude() const { return m_latitude; }
    double altitude() const { return m_altitude; }

    bool operator==(const GeoDataCoordinates &other) const = default;

private:
    double m_longitude = 0.0;
    double m_latitude = 0.0;
    double m_altitude = 0.0;
};

} // namespace Mondri

#pragma once

#include <QMetaType>
#include <QString>

namespace Pindo
{

// A place on the earth: latitude and longitude in decimal degrees (south and west negative) and,
// optionally, the altitude in metres. A default-made value has no position.
class GeoCoordinates
{
public:
    GeoCoordinates();
    GeoCoordinates(double lat, double lon);
    GeoCoordinates(double lat, double lon, double alt);

    bool hasCoordinates() const { return m_hasCoordinates; }
    bool hasAltitude() const { return m_hasAltitude; }
    double lat() const { return m_lat; }
    double lon() const { return m_lon; }
    double alt() const { return m_alt; }

    void setLatLon(double lat, double lon);
    void setAlt(double alt);
    void clearAlt();
    void clear();

    // "geo:lat,lon" or "geo:lat,lon,alt"; empty without a position.
    QString geoUrl() const;
    // Reads a geo URL ("geo:" followed by two or three numbers; parameters after ";" are
    // ignored). A text that is not one, or gives a place off the globe, yields no position and
    // sets *ok to false.
    static GeoCoordinates fromGeoUrl(const QString &url, bool *ok = nullptr);

    bool sameLonLatAs(const GeoCoordinates &other) const;
    bool operator==(const GeoCoordinates &other) const;
    bool operator!=(const GeoCoordinates &other) const { return !(*this == other); }

    // Makes the type known by its name "Pindo::GeoCoordinates" to Qt's meta-type system.
    static int registerMetaType();

private:
    double m_lat = 0.0;
    double m_lon = 0.0;
    double m_alt = 0.0;
    bool m_hasCoordinates = false;
    bool m_hasAltitude = false;
};

} // namespace Pindo

Q_DECLARE_METATYPE(Pindo::GeoCoordinates)

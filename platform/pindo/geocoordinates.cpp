#include "geocoordinates.h"

#include <QStringList>

#include <cmath>

namespace Pindo
{

int GeoCoordinates::registerMetaType()
{
    static const int id = qRegisterMetaType<GeoCoordinates>("Pindo::GeoCoordinates");
    return id;
}

GeoCoordinates::GeoCoordinates()
{
    registerMetaType();
}

GeoCoordinates::GeoCoordinates(double lat, double lon)
    : GeoCoordinates()
{
    setLatLon(lat, lon);
}

GeoCoordinates::GeoCoordinates(double lat, double lon, double alt)
    : GeoCoordinates(lat, lon)
{
    setAlt(alt);
}

void GeoCoordinates::setLatLon(double lat, double lon)
{
    m_lat = lat;
    m_lon = lon;
    m_hasCoordinates = true;
}

void GeoCoordinates::setAlt(double alt)
{
    m_alt = alt;
    m_hasAltitude = true;
}

void GeoCoordinates::clearAlt()
{
    m_alt = 0.0;
    m_hasAltitude = false;
}

void GeoCoordinates::clear()
{
    *this = GeoCoordinates();
}

QString GeoCoordinates::geoUrl() const
{
    if (!m_hasCoordinates) {
        return QString();
    }
    QString url = QStringLiteral("geo:%1,%2").arg(QString::number(m_lat, 'g', 12), QString::number(m_lon, 'g', 12));
    if (m_hasAltitude) {
        url += QLatin1Char(',') + QString::number(m_alt, 'g', 12);
    }
    return url;
}

GeoCoordinates GeoCoordinates::fromGeoUrl(const QString &url, bool *ok)
{
    if (ok) {
        *ok = false;
    }
    const QString trimmed = url.trimmed();
    if (!trimmed.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive)) {
        return GeoCoordinates();
    }
    const QString numbers = trimmed.mid(4).section(QLatin1Char(';'), 0, 0);
    const QStringList parts = numbers.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3) {
        return GeoCoordinates();
    }
    double values[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < parts.size(); ++i) {
        bool numberOk = false;
        values[i] = parts.at(i).trimmed().toDouble(&numberOk);
        if (!numberOk || !std::isfinite(values[i])) {
            return GeoCoordinates();
        }
    }
    if (std::abs(values[0]) > 90.0 || std::abs(values[1]) > 180.0) {
        return GeoCoordinates();
    }
    GeoCoordinates result(values[0], values[1]);
    if (parts.size() == 3) {
        result.setAlt(values[2]);
    }
    if (ok) {
        *ok = true;
    }
    return result;
}

bool GeoCoordinates::sameLonLatAs(const GeoCoordinates &other) const
{
    return m_hasCoordinates == other.m_hasCoordinates && m_lat == other.m_lat && m_lon == other.m_lon;
}

bool GeoCoordinates::operator==(const GeoCoordinates &other) const
{
    return sameLonLatAs(other) && m_hasAltitude == other.m_hasAltitude && (!m_hasAltitude || m_alt == other.m_alt);
}

} // namespace Pindo

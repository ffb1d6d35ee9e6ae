#include "geodatadocument.h"

namespace Mondri {

void GeoDataDocument::addStyle(const GeoDataStyle &style)
{
    if (!m_styles.contains(style.id()))
        m_styles.insert(style.id(), style);
}

void GeoDataDocument::addStyleMap(const GeoDataStyleMap &map)
{
    if (!m_styleMaps.contains(map.id()))
        m_styleMaps.insert(map.id(), map);
}

GeoDataStyle GeoDataDocument::style(const QString &id) const
{
    return m_styles.value(id);
}

GeoDataStyleMap GeoDataDocument::styleMap(const QString &id) const
{
    return m_styleMaps.value(id);
}

QString GeoDataDocument::styleIdForUrl(const QString &styleUrl) const
{
    QString mapId = styleUrl;
    mapId.remove(QLatin1Char('#'));
    const auto map = m_styleMaps.constFind(mapId);
    const QString normal = map == m_styleMaps.cend() ? QString() : map->value(QStringLiteral("normal"));
    QString id = normal.isEmpty() ? styleUrl : normal;
    id.remove(QLatin1Char('#'));
    return id;
}

} // namespace Mondri

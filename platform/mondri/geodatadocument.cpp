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

} // namespace Mondri

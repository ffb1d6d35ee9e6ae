#pragma once

#include "geodataiconstyle.h"
#include "geodatalabelstyle.h"
#include "geodatalinestyle.h"
#include "geodatapolystyle.h"

#include <QString>

namespace Mondri {

// A shared style as found in a document: its id and the line, poly, icon and label parts.
class GeoDataStyle
{
public:
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }

    const GeoDataLineStyle &lineStyle() const { return m_lineStyle; }
    GeoDataLineStyle &lineStyle() { return m_lineStyle; }
    const GeoDataPolyStyle &polyStyle() const { return m_polyStyle; }
    GeoDataPolyStyle &polyStyle() { return m_polyStyle; }
    const GeoDataIconStyle &iconStyle() const { return m_iconStyle; }
    GeoDataIconStyle &iconStyle() { return m_iconStyle; }
    const GeoDataLabelStyle &labelStyle() const { return m_labelStyle; }
    GeoDataLabelStyle &labelStyle() { return m_labelStyle; }

    bool operator==(const GeoDataStyle &other) const = default;

private:
    QString m_id;
    GeoDataLineStyle m_lineStyle;
    GeoDataPolyStyle m_polyStyle;
    GeoDataIconStyle m_iconStyle;
    GeoDataLabelStyle m_labelStyle;
};

} // namespace Mondri

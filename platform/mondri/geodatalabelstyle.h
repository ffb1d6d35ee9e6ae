#pragma once

#include <QColor>

namespace Mondri {

// How a placemark's name is written beside it: colour and size relative to the map's label font.
class GeoDataLabelStyle
{
public:
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }

    float scale() const { return m_scale; }
    void setScale(float scale) { m_scale = scale; }

    bool operator==(const GeoDataLabelStyle &other) const = default;

private:
    QColor m_color = QColor(255, 255, 255);
    float m_scale = 1.0f;
};

} // namespace Mondri

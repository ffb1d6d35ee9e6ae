#pragma once

#include <QColor>

namespace Mondri {

// How lines are stroked. The defaults are those of a style that says nothing: white, one pixel.
class GeoDataLineStyle
{
public:
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }

    // Width in pixels.
    float width() const { return m_width; }
    void setWidth(float width) { m_width = width; }

    bool operator==(const GeoDataLineStyle &other) const = default;

private:
    QColor m_color = QColor(255, 255, 255);
    float m_width = 1.0f;
};

} // namespace Mondri

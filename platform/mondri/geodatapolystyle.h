#pragma once

#include <QColor>

namespace Mondri {

// How areas are drawn: the fill colour and whether they are filled and outlined at all.
class GeoDataPolyStyle
{
public:
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }

    bool fill() const { return m_fill; }
    void setFill(bool fill) { m_fill = fill; }

    bool outline() const { return m_outline; }
    void setOutline(bool outline) { m_outline = outline; }

    bool operator==(const GeoDataPolyStyle &other) const = default;

private:
    QColor m_color = QColor(255, 255, 255);
    bool m_fill = true;
    bool m_outline = true;
};

} // namespace Mondri

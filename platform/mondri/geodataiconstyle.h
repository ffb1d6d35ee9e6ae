#pragma once

#include <QColor>
#include <QString>

namespace Mondri {

// How a point placemark's icon is drawn: the colour it is tinted with, its size relative to the
// icon's own, and where the icon image is (a path or URL as written in the file; empty: the map's
// default marker).
class GeoDataIconStyle
{
public:
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }

    float scale() const { return m_scale; }
    void setScale(float scale) { m_scale = scale; }

    QString iconHref() const { return m_iconHref; }
    void setIconHref(const QString &href) { m_iconHref = href; }

    bool operator==(const GeoDataIconStyle &other) const = default;

private:
    QColor m_color = QColor(255, 255, 255);
    float m_scale = 1.0f;
    QString m_iconHref;
};

} // namespace Mondri

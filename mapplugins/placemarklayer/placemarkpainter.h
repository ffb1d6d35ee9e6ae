#pragma once

#include "geodatastyle.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>

#include <vector>

namespace Mondri {
class GeoDataDocument;
class GeoDataFeature;
class GeoDataGeometry;
class GeoPainter;
}

// Paints the point placemarks of a document: first every marker, then every name, so names stay
// readable where markers crowd. A name goes right of its marker, or left of it when it would run
// off the image on the right. Icons come from files only, named relative to the document's
// directory, by absolute path or as file URLs; anything else (a web address, a missing or broken
// file) gets the default marker, and nothing is ever fetched over the network. Each icon file is
// read once.
class PlacemarkPainter
{
public:
    // At scale 1 an icon fits a square of IconSize pixels, the default marker is a disc of
    // DefaultMarkerSize pixels and names are written LabelPixelSize pixels high.
    static constexpr int IconSize = 32;
    static constexpr int DefaultMarkerSize = 12;
    static constexpr int LabelPixelSize = 13;

    void paint(Mondri::GeoPainter *painter, const Mondri::GeoDataDocument &document);

    // The local file an icon reference names, or empty when it names none (no reference, or an
    // address on the network).
    static QString iconPath(const QString &href, const QString &baseDirectory);

private:
    struct Mark
    {
        QPointF position;
        int style;      // in m_styles
        QString name;   // empty for all but a placemark's first point
    };

    void collect(const Mondri::GeoDataFeature *feature);
    void collectPoints(const Mondri::GeoDataGeometry *geometry, int style, QString *name);
    int styleFor(const QString &styleUrl);
    void drawMarker(const Mark &mark);
    void drawLabel(const Mark &mark);
    QImage icon(const Mondri::GeoDataIconStyle &style);
    double markerHalfWidth(const Mondri::GeoDataIconStyle &style);

    Mondri::GeoPainter *m_painter = nullptr;
    const Mondri::GeoDataDocument *m_document = nullptr;
    QList<Mark> m_marks;
    std::vector<Mondri::GeoDataStyle> m_styles;     // of the placemarks met in this paint
    QHash<QString, int> m_styleIndex;               // style URL to m_styles
    QHash<QString, QImage> m_files;                 // icon files as read; null when unreadable
    QHash<QString, QImage> m_tinted;                // by file and colour
};

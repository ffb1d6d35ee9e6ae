#pragma once

#include "geodatadocument.h"
#include "geodatastyle.h"
#include "geodatastylemap.h"

#include <QList>
#include <QString>
#include <QXmlStreamReader>

#include <memory>

class QColor;
class QIODevice;

namespace Mondri {

class GeoDataContainer;
class GeoDataFeature;
class GeoDataGeometry;
class GeoDataLineString;
class GeoDataPolygon;

// Reads a KML file into a document tree. Every shared style and style map of the file is kept in
// the returned root document, whatever element it was declared in, since style URLs in a file are
// resolved against the whole file. A file whose top feature is not a single Document is wrapped in
// one. Malformed input gives no document and an error string with the line and column.
class KmlReader
{
public:
    std::unique_ptr<GeoDataDocument> read(QIODevice *device);
    std::unique_ptr<GeoDataDocument> read(const QByteArray &data);

    QString errorString() const { return m_error; }

    // KML writes colours as aabbggrr in hex.
    static bool parseColor(QStringView text, QColor *color);

private:
    std::unique_ptr<GeoDataDocument> readKml();
    std::unique_ptr<GeoDataFeature> readFeature(int depth);
    bool readFeatureChild(GeoDataFeature *feature, int depth);
    std::unique_ptr<GeoDataGeometry> readGeometry(int depth);
    void readCoordinates(GeoDataLineString *line);
    void readPolygon(GeoDataPolygon *polygon);
    void readRingsInside(GeoDataPolygon *polygon, bool outer);
    void readLineStringChildren(GeoDataLineString *line);
    GeoDataStyle readStyle(const QString &id);
    void readStyleMap();
    void readCascadingStyle();
    QString registerInlineStyle();
    QString readText();
    bool readBool();
    QString idAttribute() const;
    bool isGeometryElement() const;
    bool isFeatureElement() const;
    bool isKmlElement() const;

    QXmlStreamReader m_xml;
    QList<GeoDataStyle> m_styles;
    QList<GeoDataStyleMap> m_styleMaps;
    int m_inlineStyles = 0;
    QString m_error;
};

} // namespace Mondri

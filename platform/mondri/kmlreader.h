#pragma once

#include "geodatacoordinates.h"
#include "geodatadocument.h"
#include "geodatastyle.h"
#include "geodatastylemap.h"
#include "xmlpullreader.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

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
// one.
//
// Files from the wild hold elements no reader agrees on (a Point without a position, a colour of
// seven digits); such an element is skipped with a warning naming its line and column, and the rest
// of the file is read. Malformed XML gives no document and an error with the line and column; so
// does the first skipped element in strict mode.
class KmlReader
{
public:
    std::unique_ptr<GeoDataDocument> read(QIODevice *device);
    std::unique_ptr<GeoDataDocument> read(const QByteArray &data);

    void setStrict(bool strict) { m_strict = strict; }
    QString errorString() const { return m_error; }
    // One line per skipped element of the last read: "line L, column C: what is wrong; <Element> skipped".
    QStringList warnings() const { return m_warnings; }

    // KML writes colours as aabbggrr in hex.
    static bool parseColor(QStringView text, QColor *color);

private:
    // Something wrong inside an element, noted where it was found and reported by the element
    // that is skipped for it.
    struct Fault
    {
        qint64 line;
        qint64 column;
        QString text;
    };

    std::unique_ptr<GeoDataDocument> readKml();
    std::unique_ptr<GeoDataFeature> readFeature(int depth);
    bool readFeatureChild(GeoDataFeature *feature, int depth);
    std::unique_ptr<GeoDataGeometry> readGeometry(int depth);
    std::unique_ptr<GeoDataGeometry> readGeometryContent(int depth);
    std::unique_ptr<GeoDataGeometry> readMultiGeometry(int depth);
    std::unique_ptr<GeoDataGeometry> readTrack();
    void readCoordinates(GeoDataLineString *line);
    void readPolygon(GeoDataPolygon *polygon);
    void readRingsInside(GeoDataPolygon *polygon, bool outer);
    void readLineStringChildren(GeoDataLineString *line);
    GeoDataStyle readStyle(const QString &id);
    void readLineStyle(GeoDataLineStyle *style);
    void readPolyStyle(GeoDataPolyStyle *style);
    void readIconStyle(GeoDataIconStyle *style);
    void readLabelStyle(GeoDataLabelStyle *style);
    template<typename Style>
    bool readColorOrScale(Style *style);
    void readStyleMap();
    void readCascadingStyle();
    QString registerInlineStyle();
    QString readText();
    std::optional<QColor> readColor();
    std::optional<float> readNumber(float maximum);
    std::optional<bool> readBool();
    QString idAttribute() const;
    bool isGeometryElement() const;
    bool isFeatureElement() const;
    bool isKmlElement() const;
    bool isNamed(std::string_view name) const { return m_xml.name() == name; }

    // The current element is wrong in itself: it is skipped (the caller has read it) with a warning.
    void skipElement(const QString &problem);
    // Notes what is wrong inside the element being read, at the current element or the place
    // given; the first fault counts.
    void fault(const QString &problem);
    void fault(qint64 line, qint64 column, const QString &problem);
    // Reports the noted fault for the element named, which the caller leaves out; false when there was none.
    bool skipForFault(std::string_view element);
    void warn(qint64 line, qint64 column, const QString &problem, std::string_view element);

    XmlPullReader m_xml;
    QList<GeoDataStyle> m_styles;
    QList<GeoDataStyleMap> m_styleMaps;
    int m_inlineStyles = 0;
    bool m_strict = false;
    std::optional<Fault> m_fault;
    std::string m_text; // text that came in pieces, joined; reused for every element
    std::vector<GeoDataCoordinates> m_positions; // of one coordinates element, reused
    QString m_error;
    QStringList m_warnings;
    int m_moreWarnings = 0; // beyond the ones listed
};

} // namespace Mondri

#include "kmlreader.h"

#include "geodatafolder.h"
#include "geodatalinearring.h"
#include "geodatamultigeometry.h"
#include "geodataplacemark.h"
#include "geodatapoint.h"
#include "geodatapolygon.h"

#include <QColor>
#include <QIODevice>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace Mondri {

namespace {

// Deeper nesting than this is no real map content, and the tree is walked recursively later.
constexpr int MaximumDepth = 100;

} // namespace

std::unique_ptr<GeoDataDocument> KmlReader::read(QIODevice *device)
{
    m_xml.setDevice(device);
    return readKml();
}

std::unique_ptr<GeoDataDocument> KmlReader::read(const QByteArray &data)
{
    m_xml.clear();
    m_xml.addData(data);
    return readKml();
}

bool KmlReader::parseColor(QStringView text, QColor *color)
{
    text = text.trimmed();
    if (text.startsWith(u'#'))
        text = text.mid(1);
    if (text.size() != 8)
        return false;
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok)
        return false;
    const int alpha = (value >> 24) & 0xff;
    const int blue = (value >> 16) & 0xff;
    const int green = (value >> 8) & 0xff;
    const int red = value & 0xff;
    *color = QColor(red, green, blue, alpha);
    return true;
}

std::unique_ptr<GeoDataDocument> KmlReader::readKml()
{
    m_styles.clear();
    m_styleMaps.clear();
    m_inlineStyles = 0;
    m_error.clear();

    std::vector<std::unique_ptr<GeoDataFeature>> features;
    if (m_xml.readNextStartElement()) {
        if (m_xml.name() != u"kml") {
            m_xml.raiseError(QStringLiteral("the root element is <%1>, not <kml>").arg(m_xml.name()));
        } else {
            while (m_xml.readNextStartElement()) {
                if (isFeatureElement()) {
                    auto feature = readFeature(1);
                    if (feature)
                        features.push_back(std::move(feature));
                } else {
                    m_xml.skipCurrentElement();
                }
            }
        }
    }
    // Whatever follows the root element must still be well-formed.
    while (!m_xml.hasError() && !m_xml.atEnd())
        m_xml.readNext();
    if (m_xml.hasError() && m_xml.error() != QXmlStreamReader::NoError) {
        if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && m_xml.lineNumber() <= 1 && m_xml.characterOffset() == 0)
            m_error = QStringLiteral("the file is empty");
        else
            m_error = QStringLiteral("line %1, column %2: %3").arg(m_xml.lineNumber()).arg(m_xml.columnNumber()).arg(m_xml.errorString());
        return nullptr;
    }

    std::unique_ptr<GeoDataDocument> root;
    if (features.size() == 1 && features.front()->isDocument()) {
        root.reset(static_cast<GeoDataDocument *>(features.front().release()));
    } else {
        root = std::make_unique<GeoDataDocument>();
        for (auto &feature : features)
            root->append(std::move(feature));
    }
    for (const GeoDataStyle &style : std::as_const(m_styles))
        root->addStyle(style);
    for (const GeoDataStyleMap &map : std::as_const(m_styleMaps))
        root->addStyleMap(map);
    return root;
}

bool KmlReader::isKmlElement() const
{
    // KML 2.x, the older earth namespaces and the extension namespace all carry "kml" in their URI;
    // Atom and xAL elements that share a local name with a KML element do not.
    const QStringView ns = m_xml.namespaceUri();
    return ns.isEmpty() || ns.contains(u"kml");
}

bool KmlReader::isFeatureElement() const
{
    const QStringView name = m_xml.name();
    return isKmlElement() && (name == u"Document" || name == u"Folder" || name == u"Placemark");
}

bool KmlReader::isGeometryElement() const
{
    const QStringView name = m_xml.name();
    return isKmlElement()
        && (name == u"Point" || name == u"LineString" || name == u"LinearRing" || name == u"Polygon"
            || name == u"MultiGeometry");
}

QString KmlReader::idAttribute() const
{
    // "kml:id" on extension elements, plain "id" elsewhere.
    for (const QXmlStreamAttribute &attribute : m_xml.attributes()) {
        if (attribute.name() == u"id")
            return attribute.value().toString();
    }
    return {};
}

QString KmlReader::readText()
{
    return m_xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
}

bool KmlReader::readBool()
{
    const QString text = readText();
    if (text == u"1" || text == u"true")
        return true;
    if (text == u"0" || text == u"false")
        return false;
    m_xml.raiseError(QStringLiteral("\"%1\" is not a boolean (0 or 1)").arg(text));
    return false;
}

std::unique_ptr<GeoDataFeature> KmlReader::readFeature(int depth)
{
    if (depth > MaximumDepth) {
        m_xml.raiseError(QStringLiteral("features are nested deeper than %1 levels").arg(MaximumDepth));
        return nullptr;
    }
    std::unique_ptr<GeoDataFeature> feature;
    const QStringView name = m_xml.name();
    if (name == u"Document")
        feature = std::make_unique<GeoDataDocument>();
    else if (name == u"Folder")
        feature = std::make_unique<GeoDataFolder>();
    else
        feature = std::make_unique<GeoDataPlacemark>();
    feature->setId(idAttribute());

    while (m_xml.readNextStartElement()) {
        if (!readFeatureChild(feature.get(), depth))
            m_xml.skipCurrentElement();
    }
    if (m_xml.hasError())
        return nullptr;
    return feature;
}

// Reads one child element of a feature; false when it is not one this reader uses.
bool KmlReader::readFeatureChild(GeoDataFeature *feature, int depth)
{
    if (!isKmlElement())
        return false;
    const QStringView name = m_xml.name();
    if (name == u"name") {
        feature->setName(readText());
    } else if (name == u"visibility") {
        feature->setVisible(readBool());
    } else if (name == u"styleUrl") {
        // An inline style wins over a referenced one, so a reference that follows it is ignored.
        const QString url = readText();
        if (!feature->styleUrl().startsWith(u"#__inline_"))
            feature->setStyleUrl(url);
    } else if (name == u"Style") {
        // Shared styles live in documents; a style inside a placemark or folder is its own.
        if (feature->isDocument()) {
            m_styles.append(readStyle(idAttribute()));
        } else {
            feature->setStyleUrl(registerInlineStyle());
        }
    } else if (name == u"StyleMap") {
        readStyleMap();
    } else if (name == u"CascadingStyle") {
        readCascadingStyle();
    } else if (feature->featureId() != PlacemarkId && isFeatureElement()) {
        auto child = readFeature(depth + 1);
        if (child)
            static_cast<GeoDataContainer *>(feature)->append(std::move(child));
    } else if (feature->featureId() == PlacemarkId && isGeometryElement()) {
        auto *placemark = static_cast<GeoDataPlacemark *>(feature);
        auto geometry = readGeometry(depth + 1);
        // A placemark has one geometry; further ones are not KML and are dropped.
        if (geometry && !placemark->geometry())
            placemark->setGeometry(std::move(geometry));
    } else {
        return false;
    }
    return true;
}

QString KmlReader::registerInlineStyle()
{
    const QString id = QStringLiteral("__inline_%1").arg(++m_inlineStyles);
    m_styles.append(readStyle(id));
    return QLatin1Char('#') + id;
}

GeoDataStyle KmlReader::readStyle(const QString &id)
{
    GeoDataStyle style;
    style.setId(id);
    while (m_xml.readNextStartElement()) {
        const QStringView name = m_xml.name();
        if (name == u"LineStyle") {
            while (m_xml.readNextStartElement()) {
                if (m_xml.name() == u"color") {
                    QColor color;
                    const QString text = readText();
                    if (!parseColor(text, &color))
                        m_xml.raiseError(QStringLiteral("\"%1\" is not a colour (aabbggrr)").arg(text));
                    style.lineStyle().setColor(color);
                } else if (m_xml.name() == u"width") {
                    bool ok = false;
                    const QString text = readText();
                    const float width = text.toFloat(&ok);
                    if (!ok || !std::isfinite(width) || width < 0 || width > 1000)
                        m_xml.raiseError(QStringLiteral("\"%1\" is not a line width").arg(text));
                    style.lineStyle().setWidth(width);
                } else {
                    m_xml.skipCurrentElement();
                }
            }
        } else if (name == u"PolyStyle") {
            while (m_xml.readNextStartElement()) {
                if (m_xml.name() == u"color") {
                    QColor color;
                    const QString text = readText();
                    if (!parseColor(text, &color))
                        m_xml.raiseError(QStringLiteral("\"%1\" is not a colour (aabbggrr)").arg(text));
                    style.polyStyle().setColor(color);
                } else if (m_xml.name() == u"fill") {
                    style.polyStyle().setFill(readBool());
                } else if (m_xml.name() == u"outline") {
                    style.polyStyle().setOutline(readBool());
                } else {
                    m_xml.skipCurrentElement();
                }
            }
        } else {
            m_xml.skipCurrentElement();
        }
    }
    return style;
}

void KmlReader::readStyleMap()
{
    GeoDataStyleMap map;
    map.setId(idAttribute());
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() != u"Pair") {
            m_xml.skipCurrentElement();
            continue;
        }
        QString key;
        QString url;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"key")
                key = readText();
            else if (m_xml.name() == u"styleUrl")
                url = readText();
            else if (m_xml.name() == u"Style")
                url = registerInlineStyle();
            else
                m_xml.skipCurrentElement();
        }
        map.insert(key, url);
    }
    m_styleMaps.append(map);
}

// The extension's cascading style wraps an ordinary style and carries the id on itself.
void KmlReader::readCascadingStyle()
{
    const QString id = idAttribute();
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"Style")
            m_styles.append(readStyle(id));
        else
            m_xml.skipCurrentElement();
    }
}

std::unique_ptr<GeoDataGeometry> KmlReader::readGeometry(int depth)
{
    if (depth > MaximumDepth) {
        m_xml.raiseError(QStringLiteral("geometries are nested deeper than %1 levels").arg(MaximumDepth));
        return nullptr;
    }
    std::unique_ptr<GeoDataGeometry> geometry;
    const QStringView name = m_xml.name();
    if (name == u"Point") {
        GeoDataLineString positions;
        readLineStringChildren(&positions);
        if (positions.size() != 1 && !m_xml.hasError())
            m_xml.raiseError(QStringLiteral("a Point needs exactly one position, not %1").arg(positions.size()));
        if (m_xml.hasError())
            return nullptr;
        geometry = std::make_unique<GeoDataPoint>(positions.coordinates().front());
    } else if (name == u"LineString") {
        auto line = std::make_unique<GeoDataLineString>();
        readLineStringChildren(line.get());
        geometry = std::move(line);
    } else if (name == u"LinearRing") {
        auto ring = std::make_unique<GeoDataLinearRing>();
        readLineStringChildren(ring.get());
        geometry = std::move(ring);
    } else if (name == u"Polygon") {
        auto polygon = std::make_unique<GeoDataPolygon>();
        readPolygon(polygon.get());
        geometry = std::move(polygon);
    } else {
        auto multi = std::make_unique<GeoDataMultiGeometry>();
        while (m_xml.readNextStartElement()) {
            if (isGeometryElement()) {
                auto child = readGeometry(depth + 1);
                if (child)
                    multi->append(std::move(child));
            } else {
                m_xml.skipCurrentElement();
            }
        }
        geometry = std::move(multi);
    }
    if (m_xml.hasError())
        return nullptr;
    return geometry;
}

void KmlReader::readLineStringChildren(GeoDataLineString *line)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"coordinates")
            readCoordinates(line);
        else
            m_xml.skipCurrentElement();
    }
}

void KmlReader::readPolygon(GeoDataPolygon *polygon)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"outerBoundaryIs")
            readRingsInside(polygon, true);
        else if (m_xml.name() == u"innerBoundaryIs")
            readRingsInside(polygon, false);
        else
            m_xml.skipCurrentElement();
    }
}

// Files in the wild put several rings into one innerBoundaryIs as often as one each; both work.
void KmlReader::readRingsInside(GeoDataPolygon *polygon, bool outer)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() != u"LinearRing") {
            m_xml.skipCurrentElement();
            continue;
        }
        GeoDataLinearRing ring;
        readLineStringChildren(&ring);
        if (outer)
            polygon->setOuterBoundary(ring);
        else
            polygon->appendInnerBoundary(ring);
    }
}

// Positions are "lon,lat[,alt]" tuples separated by white space. Coordinates are most of a large
// file, so they are parsed from Latin-1 bytes with std::from_chars, far faster than QString's
// conversions; anything outside Latin-1 is no number anyway and fails the same way.
void KmlReader::readCoordinates(GeoDataLineString *line)
{
    const QByteArray text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).toLatin1();
    if (m_xml.hasError())
        return;
    const char *p = text.constData();
    const char *end = p + text.size();
    const auto isBlank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    while (p < end) {
        while (p < end && isBlank(*p))
            ++p;
        const char *start = p;
        while (p < end && !isBlank(*p))
            ++p;
        if (start == p)
            break;
        double values[3] = { 0.0, 0.0, 0.0 };
        int count = 0;
        bool ok = true;
        for (const char *field = start; ok;) {
            const char *comma = std::find(field, p, ',');
            // from_chars takes no leading '+', which some writers put before positive numbers.
            const char *first = (field < comma && *field == '+') ? field + 1 : field;
            const auto [next, error] = std::from_chars(first, comma, values[std::min(count, 2)]);
            ok = count < 3 && error == std::errc() && next == comma && first < comma
                && std::isfinite(values[std::min(count, 2)]);
            ++count;
            if (comma == p)
                break;
            field = comma + 1;
        }
        const auto tuple = [&] { return QString::fromLatin1(start, std::min<qsizetype>(p - start, 60)); };
        if (!ok || count < 2) {
            m_xml.raiseError(QStringLiteral("\"%1\" is not a position (lon,lat[,alt])").arg(tuple()));
            return;
        }
        if (std::abs(values[0]) > 360.0 || std::abs(values[1]) > 90.0) {
            m_xml.raiseError(QStringLiteral("position \"%1\" is outside the globe").arg(tuple()));
            return;
        }
        line->append(GeoDataCoordinates(values[0], values[1], values[2]));
    }
}

} // namespace Mondri

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
#include <type_traits>

namespace Mondri {

namespace {

// Deeper nesting than this is no real map content, and the tree is walked recursively later.
constexpr int MaximumDepth = 100;
// A file with thousands of bad elements needs no thousand lines to say so.
constexpr int MaximumWarnings = 100;

// An object rather than a function, so the searches through large coordinate texts inline it.
constexpr auto isBlank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };

enum class PositionStatus { Valid, NotAPosition, OffTheGlobe };

// Reads the position at begin: "lon,lat[,alt]" (KML coordinates), up to the blank after it, or
// "lon lat [alt]" (track positions), up to end; *stop is where it ended. Coordinates are most of a
// large file, so they are parsed in one pass over the bytes with std::from_chars, far faster than
// splitting them into fields or converting them with QString.
PositionStatus parsePosition(const char *begin, const char *end, bool blankSeparated, GeoDataCoordinates *position,
                             const char **stop)
{
    double values[3] = { 0.0, 0.0, 0.0 };
    int count = 0;
    const char *p = begin;
    for (;;) {
        // from_chars takes no leading '+', which some writers put before positive numbers.
        if (p < end && *p == '+')
            ++p;
        const auto [next, error] = std::from_chars(p, end, values[count]);
        if (error != std::errc() || !std::isfinite(values[count]))
            return PositionStatus::NotAPosition;
        ++count;
        if (blankSeparated) {
            p = std::find_if_not(next, end, isBlank);
            if (p == end)
                break;
            if (p == next)
                return PositionStatus::NotAPosition;
        } else {
            p = next;
            if (p == end || isBlank(*p))
                break;
            if (*p != ',')
                return PositionStatus::NotAPosition;
            ++p;
        }
        if (count == 3)
            return PositionStatus::NotAPosition;
    }
    if (count < 2)
        return PositionStatus::NotAPosition;
    if (std::abs(values[0]) > 360.0 || std::abs(values[1]) > 90.0)
        return PositionStatus::OffTheGlobe;
    *position = GeoDataCoordinates(values[0], values[1], values[2]);
    *stop = p;
    return PositionStatus::Valid;
}

QString positionProblem(PositionStatus status, const char *begin, const char *end, const char *form)
{
    const QString text = QString::fromUtf8(begin, std::min<qsizetype>(end - begin, 60));
    if (status == PositionStatus::OffTheGlobe)
        return QStringLiteral("position \"%1\" is outside the globe").arg(text);
    return QStringLiteral("\"%1\" is not a position (%2)").arg(text, QLatin1String(form));
}

} // namespace

std::unique_ptr<GeoDataDocument> KmlReader::read(QIODevice *device)
{
    m_xml.setDevice(device);
    return readKml();
}

std::unique_ptr<GeoDataDocument> KmlReader::read(const QByteArray &data)
{
    m_xml.setData(data);
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
    m_fault.reset();
    m_error.clear();
    m_warnings.clear();
    m_moreWarnings = 0;

    std::vector<std::unique_ptr<GeoDataFeature>> features;
    if (m_xml.readNextStartElement()) {
        if (!isNamed("kml")) {
            m_xml.raiseError(QStringLiteral("the root element is <%1>, not <kml>").arg(QString::fromUtf8(m_xml.name())));
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
    m_xml.readToEnd();
    if (m_xml.hasError()) {
        m_error = m_xml.inputWasBlank() ? QStringLiteral("the file is empty") : m_xml.errorString();
        return nullptr;
    }
    if (m_moreWarnings > 0)
        m_warnings.append(QStringLiteral("%1 more elements skipped").arg(m_moreWarnings));

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

void KmlReader::warn(qint64 line, qint64 column, const QString &problem, std::string_view element)
{
    if (m_strict) {
        m_xml.raiseError(line, column, problem);
        return;
    }
    if (m_warnings.size() == MaximumWarnings) {
        ++m_moreWarnings;
        return;
    }
    m_warnings.append(QStringLiteral("line %1, column %2: %3; <%4> skipped")
                          .arg(line).arg(column).arg(problem, QString::fromUtf8(element)));
}

void KmlReader::skipElement(const QString &problem)
{
    warn(m_xml.lineNumber(), m_xml.columnNumber(), problem, m_xml.name());
    m_xml.skipCurrentElement();
}

void KmlReader::fault(const QString &problem)
{
    fault(m_xml.lineNumber(), m_xml.columnNumber(), problem);
}

void KmlReader::fault(qint64 line, qint64 column, const QString &problem)
{
    if (m_strict)
        m_xml.raiseError(line, column, problem);
    else if (!m_fault)
        m_fault = Fault { line, column, problem };
}

bool KmlReader::skipForFault(std::string_view element)
{
    if (!m_fault)
        return false;
    warn(m_fault->line, m_fault->column, m_fault->text, element);
    m_fault.reset();
    return true;
}

bool KmlReader::isKmlElement() const
{
    // KML 2.x, the older earth namespaces and the extension namespace all carry "kml" in their URI;
    // Atom and xAL elements that share a local name with a KML element do not.
    const std::string_view ns = m_xml.namespaceUri();
    return ns.empty() || ns.find("kml") != std::string_view::npos;
}

bool KmlReader::isFeatureElement() const
{
    return isKmlElement() && (isNamed("Document") || isNamed("Folder") || isNamed("Placemark"));
}

bool KmlReader::isGeometryElement() const
{
    // Tracks (from GPS loggers and phones) and the multi-geometries other writers name by their
    // members' kind are read as well.
    static constexpr std::string_view names[] = { "Point", "LineString", "LinearRing", "Polygon", "MultiGeometry",
                                                  "MultiPolygon", "MultiLineString", "Track", "MultiTrack" };
    return isKmlElement() && std::find(std::begin(names), std::end(names), m_xml.name()) != std::end(names);
}

QString KmlReader::idAttribute() const
{
    // "kml:id" on extension elements, plain "id" elsewhere.
    return m_xml.attribute("id");
}

QString KmlReader::readText()
{
    const std::string_view text = m_xml.readElementText(&m_text);
    return QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed();
}

std::optional<bool> KmlReader::readBool()
{
    const qint64 line = m_xml.lineNumber();
    const qint64 column = m_xml.columnNumber();
    const std::string element(m_xml.name());
    const QString text = readText();
    if (text == u"1" || text == u"true")
        return true;
    if (text == u"0" || text == u"false")
        return false;
    warn(line, column, QStringLiteral("\"%1\" is not a boolean (0 or 1)").arg(text), element);
    return std::nullopt;
}

std::optional<QColor> KmlReader::readColor()
{
    const qint64 line = m_xml.lineNumber();
    const qint64 column = m_xml.columnNumber();
    const QString text = readText();
    QColor color;
    if (parseColor(text, &color))
        return color;
    warn(line, column, QStringLiteral("\"%1\" is not a colour (aabbggrr)").arg(text), "color");
    return std::nullopt;
}

std::optional<float> KmlReader::readNumber(float maximum)
{
    const qint64 line = m_xml.lineNumber();
    const qint64 column = m_xml.columnNumber();
    const std::string element(m_xml.name());
    const QString text = readText();
    bool ok = false;
    const float number = text.toFloat(&ok);
    if (ok && std::isfinite(number) && number >= 0 && number <= maximum)
        return number;
    const QString what = element == "width" ? QStringLiteral("a line width") : QStringLiteral("a scale");
    warn(line, column, QStringLiteral("\"%1\" is not %2").arg(text, what), element);
    return std::nullopt;
}

std::unique_ptr<GeoDataFeature> KmlReader::readFeature(int depth)
{
    if (depth > MaximumDepth) {
        skipElement(QStringLiteral("features are nested deeper than %1 levels").arg(MaximumDepth));
        return nullptr;
    }
    std::unique_ptr<GeoDataFeature> feature;
    if (isNamed("Document"))
        feature = std::make_unique<GeoDataDocument>();
    else if (isNamed("Folder"))
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
    if (isNamed("name")) {
        feature->setName(readText());
    } else if (isNamed("visibility")) {
        if (const std::optional<bool> visible = readBool())
            feature->setVisible(*visible);
    } else if (isNamed("styleUrl")) {
        // An inline style wins over a referenced one, so a reference that follows it is ignored.
        const QString url = readText();
        if (!feature->styleUrl().startsWith(u"#__inline_"))
            feature->setStyleUrl(url);
    } else if (isNamed("Style")) {
        // Shared styles live in documents; a style inside a placemark or folder is its own.
        if (feature->isDocument()) {
            m_styles.append(readStyle(idAttribute()));
        } else {
            feature->setStyleUrl(registerInlineStyle());
        }
    } else if (isNamed("StyleMap")) {
        readStyleMap();
    } else if (isNamed("CascadingStyle")) {
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
        if (isNamed("LineStyle"))
            readLineStyle(&style.lineStyle());
        else if (isNamed("PolyStyle"))
            readPolyStyle(&style.polyStyle());
        else if (isNamed("IconStyle"))
            readIconStyle(&style.iconStyle());
        else if (isNamed("LabelStyle"))
            readLabelStyle(&style.labelStyle());
        else
            m_xml.skipCurrentElement();
    }
    return style;
}

// The colour every kind of style has, and the scale of icons and labels; false when the current
// element is neither.
template<typename Style>
bool KmlReader::readColorOrScale(Style *style)
{
    if (isNamed("color")) {
        if (const auto color = readColor())
            style->setColor(*color);
        return true;
    }
    if constexpr (std::is_same_v<Style, GeoDataIconStyle> || std::is_same_v<Style, GeoDataLabelStyle>) {
        if (isNamed("scale")) {
            if (const auto scale = readNumber(100))
                style->setScale(*scale);
            return true;
        }
    }
    return false;
}

void KmlReader::readLineStyle(GeoDataLineStyle *style)
{
    while (m_xml.readNextStartElement()) {
        if (readColorOrScale(style))
            continue;
        if (isNamed("width")) {
            if (const auto width = readNumber(1000))
                style->setWidth(*width);
        } else {
            m_xml.skipCurrentElement();
        }
    }
}

void KmlReader::readPolyStyle(GeoDataPolyStyle *style)
{
    while (m_xml.readNextStartElement()) {
        if (readColorOrScale(style))
            continue;
        if (isNamed("fill")) {
            if (const auto fill = readBool())
                style->setFill(*fill);
        } else if (isNamed("outline")) {
            if (const auto outline = readBool())
                style->setOutline(*outline);
        } else {
            m_xml.skipCurrentElement();
        }
    }
}

void KmlReader::readIconStyle(GeoDataIconStyle *style)
{
    while (m_xml.readNextStartElement()) {
        if (readColorOrScale(style))
            continue;
        if (!isNamed("Icon")) {
            m_xml.skipCurrentElement();
            continue;
        }
        while (m_xml.readNextStartElement()) {
            if (isNamed("href"))
                style->setIconHref(readText());
            else
                m_xml.skipCurrentElement();
        }
    }
}

void KmlReader::readLabelStyle(GeoDataLabelStyle *style)
{
    while (m_xml.readNextStartElement()) {
        if (!readColorOrScale(style))
            m_xml.skipCurrentElement();
    }
}

void KmlReader::readStyleMap()
{
    GeoDataStyleMap map;
    map.setId(idAttribute());
    while (m_xml.readNextStartElement()) {
        if (!isNamed("Pair")) {
            m_xml.skipCurrentElement();
            continue;
        }
        QString key;
        QString url;
        while (m_xml.readNextStartElement()) {
            if (isNamed("key"))
                key = readText();
            else if (isNamed("styleUrl"))
                url = readText();
            else if (isNamed("Style"))
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
        if (isNamed("Style"))
            m_styles.append(readStyle(id));
        else
            m_xml.skipCurrentElement();
    }
}

// A geometry with a fault anywhere inside is left out as a whole: half a polygon or a line with a
// gap would show something the file does not say.
std::unique_ptr<GeoDataGeometry> KmlReader::readGeometry(int depth)
{
    const std::string element(m_xml.name());
    if (depth > MaximumDepth) {
        skipElement(QStringLiteral("geometries are nested deeper than %1 levels").arg(MaximumDepth));
        return nullptr;
    }
    auto geometry = readGeometryContent(depth);
    if (m_xml.hasError() || skipForFault(element))
        return nullptr;
    return geometry;
}

std::unique_ptr<GeoDataGeometry> KmlReader::readGeometryContent(int depth)
{
    if (isNamed("Point")) {
        const qint64 line = m_xml.lineNumber();
        const qint64 column = m_xml.columnNumber();
        GeoDataLineString positions;
        readLineStringChildren(&positions);
        if (positions.size() != 1) {
            fault(line, column, QStringLiteral("a Point needs exactly one position, not %1").arg(positions.size()));
            return nullptr;
        }
        return std::make_unique<GeoDataPoint>(positions.coordinates().front());
    }
    if (isNamed("LineString")) {
        auto line = std::make_unique<GeoDataLineString>();
        readLineStringChildren(line.get());
        return line;
    }
    if (isNamed("LinearRing")) {
        auto ring = std::make_unique<GeoDataLinearRing>();
        readLineStringChildren(ring.get());
        return ring;
    }
    if (isNamed("Polygon")) {
        auto polygon = std::make_unique<GeoDataPolygon>();
        readPolygon(polygon.get());
        return polygon;
    }
    if (isNamed("Track"))
        return readTrack();
    return readMultiGeometry(depth);
}

std::unique_ptr<GeoDataGeometry> KmlReader::readMultiGeometry(int depth)
{
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
    return multi;
}

// A track is a line through its positions; the times and angles beside them are not drawn.
std::unique_ptr<GeoDataGeometry> KmlReader::readTrack()
{
    auto line = std::make_unique<GeoDataLineString>();
    while (m_xml.readNextStartElement()) {
        if (!isNamed("coord")) {
            m_xml.skipCurrentElement();
            continue;
        }
        const std::string_view text = m_xml.readElementText(&m_text);
        const char *begin = std::find_if_not(text.data(), text.data() + text.size(), isBlank);
        const char *end = text.data() + text.size();
        while (end > begin && isBlank(end[-1]))
            --end;
        GeoDataCoordinates position;
        const char *stop = nullptr;
        const PositionStatus status = parsePosition(begin, end, true, &position, &stop);
        if (status != PositionStatus::Valid)
            fault(positionProblem(status, begin, end, "lon lat [alt]"));
        else
            line->append(position);
    }
    return line;
}

void KmlReader::readLineStringChildren(GeoDataLineString *line)
{
    while (m_xml.readNextStartElement()) {
        if (isNamed("coordinates"))
            readCoordinates(line);
        else
            m_xml.skipCurrentElement();
    }
}

void KmlReader::readPolygon(GeoDataPolygon *polygon)
{
    while (m_xml.readNextStartElement()) {
        if (isNamed("outerBoundaryIs"))
            readRingsInside(polygon, true);
        else if (isNamed("innerBoundaryIs"))
            readRingsInside(polygon, false);
        else
            m_xml.skipCurrentElement();
    }
}

// Files in the wild put several rings into one innerBoundaryIs as often as one each; both work.
void KmlReader::readRingsInside(GeoDataPolygon *polygon, bool outer)
{
    while (m_xml.readNextStartElement()) {
        if (!isNamed("LinearRing")) {
            m_xml.skipCurrentElement();
            continue;
        }
        GeoDataLinearRing ring;
        readLineStringChildren(&ring);
        if (outer)
            polygon->setOuterBoundary(std::move(ring));
        else
            polygon->appendInnerBoundary(std::move(ring));
    }
}

// Positions are "lon,lat[,alt]" tuples separated by white space.
void KmlReader::readCoordinates(GeoDataLineString *line)
{
    bool hadChildElements = false;
    const std::string_view text = m_xml.readElementText(&m_text, &hadChildElements);
    if (hadChildElements) {
        fault(QStringLiteral("<coordinates> holds elements, not only positions"));
        return;
    }
    const char *p = text.data();
    const char *end = p + text.size();
    // Gathered first, so each line gets exactly the room it needs.
    m_positions.clear();
    for (;;) {
        p = std::find_if_not(p, end, isBlank);
        if (p == end)
            break;
        GeoDataCoordinates position;
        const char *stop = nullptr;
        const PositionStatus status = parsePosition(p, end, false, &position, &stop);
        if (status != PositionStatus::Valid) {
            fault(positionProblem(status, p, std::find_if(p, end, isBlank), "lon,lat[,alt]"));
            return;
        }
        m_positions.push_back(position);
        p = stop;
    }
    line->append(m_positions);
}

} // namespace Mondri

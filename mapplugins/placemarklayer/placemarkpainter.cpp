#include "placemarkpainter.h"

#include "geodatacontainer.h"
#include "geodatadocument.h"
#include "geodatamultigeometry.h"
#include "geodataplacemark.h"
#include "geodatapoint.h"
#include "geopainter.h"
#include "viewportparams.h"

#include <QDir>
#include <QFontMetricsF>
#include <QUrl>

#include <algorithm>
#include <cmath>

using namespace Mondri;

namespace {

// Markers whose position lies further outside the image than this cannot reach into it; names
// start right of the marker and may reach in from further left.
constexpr double MarkerReach = 200.0;
constexpr double LabelReach = 1000.0;
constexpr double LabelGap = 3.0;

// KML tints an icon by multiplying each of its channels with the colour's.
QImage tinted(const QImage &source, const QColor &color)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (color == QColor(Qt::white))
        return image;
    const int factors[4] = { color.blue(), color.green(), color.red(), color.alpha() };
    for (int y = 0; y < image.height(); ++y) {
        auto *pixel = reinterpret_cast<uchar *>(image.scanLine(y));
        for (int x = 0; x < image.width() * 4; ++x) {
            // Premultiplied channels scale with the alpha factor too.
            const int factor = (x % 4 == 3) ? factors[3] : factors[x % 4] * factors[3] / 255;
            pixel[x] = uchar(pixel[x] * factor / 255);
        }
    }
    return image;
}

} // namespace

QString PlacemarkPainter::iconPath(const QString &href, const QString &baseDirectory)
{
    if (href.isEmpty())
        return {};
    const QUrl url(href);
    if (url.isLocalFile())
        return url.toLocalFile();
    // A scheme of two letters or more names an address on the network (one letter is a Windows drive).
    if (url.scheme().size() > 1)
        return {};
    if (QDir::isAbsolutePath(href))
        return href;
    return baseDirectory.isEmpty() ? QString() : QDir(baseDirectory).filePath(href);
}

void PlacemarkPainter::paint(GeoPainter *painter, const GeoDataDocument &document)
{
    // Visibility is a property of the root only, as for the map's lines and areas.
    if (!document.isVisible())
        return;
    m_painter = painter;
    m_document = &document;
    m_marks.clear();
    m_styles.clear();
    m_styleIndex.clear();
    collect(&document);

    painter->save();
    painter->autoMapQuality();
    for (const Mark &mark : std::as_const(m_marks))
        drawMarker(mark);
    for (const Mark &mark : std::as_const(m_marks)) {
        if (!mark.name.isEmpty())
            drawLabel(mark);
    }
    painter->restore();
    m_painter = nullptr;
    m_document = nullptr;
}

void PlacemarkPainter::collect(const GeoDataFeature *feature)
{
    if (feature->featureId() == PlacemarkId) {
        const auto *placemark = static_cast<const GeoDataPlacemark *>(feature);
        // Most placemarks of a large map are lines and areas; they cost no style lookup here.
        const GeoDataGeometry *geometry = placemark->geometry();
        if (geometry && (geometry->geometryId() == PointId || geometry->geometryId() == MultiGeometryId)) {
            QString name = placemark->name();
            collectPoints(geometry, styleFor(placemark->styleUrl()), &name);
        }
        return;
    }
    const auto *container = static_cast<const GeoDataContainer *>(feature);
    for (int i = 0; i < container->childCount(); ++i)
        collect(container->feature(i));
}

// Every point of the placemark gets a marker; the name is written once, beside the first.
void PlacemarkPainter::collectPoints(const GeoDataGeometry *geometry, int style, QString *name)
{
    if (geometry->geometryId() == MultiGeometryId) {
        const auto *multi = static_cast<const GeoDataMultiGeometry *>(geometry);
        for (int i = 0; i < multi->childCount(); ++i)
            collectPoints(multi->geometry(i), style, name);
        return;
    }
    if (geometry->geometryId() != PointId)
        return;
    const GeoDataCoordinates position = static_cast<const GeoDataPoint *>(geometry)->coordinates();
    const QPointF point = m_painter->viewport()->screenPosition(position.longitude(), position.latitude());
    const QSize size = m_painter->viewport()->size();
    if (point.x() < -LabelReach || point.x() > size.width() + MarkerReach || point.y() < -MarkerReach
        || point.y() > size.height() + MarkerReach)
        return;
    m_marks.append(Mark { point, style, *name });
    name->clear();
}

int PlacemarkPainter::styleFor(const QString &styleUrl)
{
    const auto known = m_styleIndex.constFind(styleUrl);
    if (known != m_styleIndex.cend())
        return *known;
    m_styles.push_back(m_document->styleForUrl(styleUrl));
    const int index = int(m_styles.size()) - 1;
    m_styleIndex.insert(styleUrl, index);
    return index;
}

double PlacemarkPainter::markerHalfWidth(const GeoDataIconStyle &style)
{
    const QImage image = icon(style);
    if (image.isNull())
        return DefaultMarkerSize * style.scale() / 2.0;
    const double longest = std::max(image.width(), image.height());
    return IconSize * style.scale() * image.width() / longest / 2.0;
}

void PlacemarkPainter::drawMarker(const Mark &mark)
{
    const GeoDataIconStyle &style = m_styles[size_t(mark.style)].iconStyle();
    // A scale of zero hides the icon.
    if (style.scale() <= 0)
        return;
    const QImage image = icon(style);
    if (!image.isNull()) {
        const double longest = std::max(image.width(), image.height());
        const QSizeF size(IconSize * style.scale() * image.width() / longest, IconSize * style.scale() * image.height() / longest);
        m_painter->drawImage(QRectF(mark.position - QPointF(size.width() / 2, size.height() / 2), size), image);
        return;
    }
    const double radius = std::max(DefaultMarkerSize * style.scale() / 2.0, 1.5);
    const QColor fill = style.color();
    m_painter->setPen(QPen(QColor(30, 30, 30, fill.alpha()), 1));
    m_painter->setBrush(fill);
    m_painter->drawEllipse(mark.position, radius, radius);
}

void PlacemarkPainter::drawLabel(const Mark &mark)
{
    const GeoDataStyle &style = m_styles[size_t(mark.style)];
    const GeoDataLabelStyle &label = style.labelStyle();
    // A scale of zero hides the name.
    if (label.scale() <= 0)
        return;
    QFont font = m_painter->font();
    font.setPixelSize(std::max(1, int(std::lround(LabelPixelSize * label.scale()))));
    m_painter->setFont(font);
    const QFontMetricsF metrics(font);
    const double halfWidth = style.iconStyle().scale() > 0 ? markerHalfWidth(style.iconStyle()) : 0.0;
    // Right of the marker, or left of it where the image ends too soon on the right.
    const double width = metrics.horizontalAdvance(mark.name);
    double x = mark.position.x() + halfWidth + LabelGap;
    const double left = mark.position.x() - halfWidth - LabelGap - width;
    if (x + width > m_painter->viewport()->size().width() && left >= 0)
        x = left;
    const QPointF origin(x, mark.position.y() + (metrics.ascent() - metrics.descent()) / 2.0);
    // A dark rim keeps the name readable on any background.
    m_painter->setPen(QColor(0, 0, 0, label.color().alpha()));
    for (const QPointF offset : { QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1) })
        m_painter->drawText(origin + offset, mark.name);
    m_painter->setPen(label.color());
    m_painter->drawText(origin, mark.name);
}

QImage PlacemarkPainter::icon(const GeoDataIconStyle &style)
{
    const QString path = iconPath(style.iconHref(), m_document->baseDirectory());
    if (path.isEmpty())
        return {};
    const QString key = path + QLatin1Char('\n') + style.color().name(QColor::HexArgb);
    const auto known = m_tinted.constFind(key);
    if (known != m_tinted.cend())
        return *known;
    auto file = m_files.constFind(path);
    if (file == m_files.cend())
        file = m_files.insert(path, QImage(path));
    const QImage result = file->isNull() ? QImage() : tinted(*file, style.color());
    m_tinted.insert(key, result);
    return result;
}

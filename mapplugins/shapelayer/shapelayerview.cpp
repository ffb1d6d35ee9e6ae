#include "shapelayerview.h"

#include "geodatadocument.h"
#include "geodatalinearring.h"
#include "geodatalinestring.h"
#include "geodatapolygon.h"
#include "geopainter.h"
#include "mondriglobal.h"

#include <QDebug>

using namespace Mondri;

ShapeLayerView::ShapeLayerView(QWidget *parent)
    : QAbstractItemView(parent)
{
}

ShapeLayerView::~ShapeLayerView() = default;

GeoDataObject *ShapeLayerView::objectAt(const QModelIndex &index) const
{
    return model()->data(index, ObjectPointerRole).value<GeoDataObject *>();
}

void ShapeLayerView::paintGeometries()
{
    if (!m_painter || !model())
        return;
    // Visibility is a property of the root only: hiding the document hides everything, while the
    // features below are drawn whatever their own flag says.
    GeoDataObject *root = objectAt(rootIndex());
    if (!root || !root->isFeature() || !static_cast<GeoDataFeature *>(root)->isVisible())
        return;
    m_root = root->isDocument() ? static_cast<GeoDataDocument *>(root) : nullptr;
    m_styleKnown = false;

    // One save and restore around the whole walk: the map's other layers get the painter back as it
    // was, and the pen and brush carry over from one geometry to the next, so a run of equally
    // styled shapes changes no painter state.
    m_painter->save();
    m_painter->autoMapQuality();
    walk(rootIndex());
    m_painter->restore();
}

void ShapeLayerView::walk(const QModelIndex &index)
{
    const int rows = model()->rowCount(index);
    for (int i = 0; i < rows; ++i) {
        const QModelIndex child = model()->index(i, 0, index);
        GeoDataObject *object = objectAt(child);
        if (!object)
            continue;
        if (object->isFeature()) {
            auto *feature = static_cast<GeoDataFeature *>(object);
            if (feature->featureId() == PlacemarkId)
                m_currentStyleUrl = feature->styleUrl();
        } else if (object->isGeometry()) {
            auto *geometry = static_cast<GeoDataGeometry *>(object);
            if (geometry->geometryId() != MultiGeometryId) {
                renderGeometry(geometry, m_currentStyleUrl);
                continue;
            }
        } else {
            continue;
        }
        if (child.isValid() && model()->rowCount(child) > 0)
            walk(child);
    }
}

// Placemarks come in runs of one style, so the style last looked up is kept.
const GeoDataStyle &ShapeLayerView::styleFor(const QString &styleUrl)
{
    if (!m_styleKnown || styleUrl != m_styleUrl) {
        m_style = m_root->styleForUrl(styleUrl);
        m_styleUrl = styleUrl;
        m_styleKnown = true;
    }
    return m_style;
}

bool ShapeLayerView::renderGeometry(GeoDataGeometry *geometry, const QString &styleUrl)
{
    if (!m_root) {
        qWarning() << "root seems to be 0!!!";
        return false;
    }
    const GeoDataStyle &style = styleFor(styleUrl);
    switch (geometry->geometryId()) {
    case PolygonId:
        setBrushFromStyle(style);
        setPenFromStyle(style);
        m_painter->drawPolygon(*static_cast<GeoDataPolygon *>(geometry), Qt::OddEvenFill);
        break;
    case LinearRingId: {
        // A ring on its own is a boundary, never an area.
        const QBrush transparent(QColor(0, 0, 0, 0));
        if (m_painter->brush() != transparent)
            m_painter->setBrush(transparent);
        setPenFromStyle(style);
        m_painter->drawPolygon(*static_cast<GeoDataLinearRing *>(geometry), Qt::OddEvenFill);
        break;
    }
    case LineStringId:
        setPenFromStyle(style);
        m_painter->drawPolyline(*static_cast<GeoDataLineString *>(geometry), QString(), LineCenter);
        break;
    default:
        break;
    }
    return true;
}

void ShapeLayerView::setBrushFromStyle(const GeoDataStyle &style)
{
    const GeoDataPolyStyle &poly = style.polyStyle();
    if (poly.fill()) {
        // The style is compared too, not only the colour: a painter that starts with no brush has a
        // black colour, and a black fill must still be set.
        const QBrush &current = m_painter->brush();
        if (current.style() != Qt::SolidPattern || current.color() != poly.color())
            m_painter->setBrush(QBrush(poly.color()));
    } else if (m_painter->brush().color() != QColor(Qt::transparent)) {
        m_painter->setBrush(QBrush(QColor(Qt::transparent)));
    }
}

void ShapeLayerView::setPenFromStyle(const GeoDataStyle &style)
{
    if (style.polyStyle().outline()) {
        const GeoDataLineStyle &line = style.lineStyle();
        if (m_pen.color() != line.color() || m_pen.widthF() != qreal(line.width())) {
            m_pen.setColor(line.color());
            m_pen.setWidthF(line.width());
        }
        // Translucent outlines are slower and show every overlap; only the careful qualities keep them.
        const MapQuality quality = m_painter->mapQuality();
        if (quality != HighQuality && quality != PrintQuality) {
            QColor opaque = m_pen.color();
            opaque.setAlpha(255);
            m_pen.setColor(opaque);
        }
    } else {
        m_pen.setColor(Qt::transparent);
    }
    if (m_painter->pen() != m_pen)
        m_painter->setPen(m_pen);
}

// The view is never shown, so the geometry of items on screen means nothing here.
QRect ShapeLayerView::visualRect(const QModelIndex &) const
{
    return {};
}

void ShapeLayerView::scrollTo(const QModelIndex &, ScrollHint)
{
}

QModelIndex ShapeLayerView::indexAt(const QPoint &) const
{
    return {};
}

QModelIndex ShapeLayerView::moveCursor(CursorAction, Qt::KeyboardModifiers)
{
    return {};
}

int ShapeLayerView::horizontalOffset() const
{
    return 0;
}

int ShapeLayerView::verticalOffset() const
{
    return 0;
}

bool ShapeLayerView::isIndexHidden(const QModelIndex &) const
{
    return false;
}

void ShapeLayerView::setSelection(const QRect &, QItemSelectionModel::SelectionFlags)
{
}

QRegion ShapeLayerView::visualRegionForSelection(const QItemSelection &) const
{
    return {};
}

#include "pindowidget.h"
#include "dragdrophandler.h"
#include "itemmarkertiler.h"
#include "modelhelper.h"

#include "daxappi18n.h"
#include "daxconfiggroup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Pindo
{

namespace {
// At zoom 0 the whole world is at least this many pixels wide, and covers the widget.
constexpr double WorldWidthAtZoom0 = 512.0;
// Groups are made of tiles of about 128 pixels: at the smallest world, 2^TileLevelOffset tiles to
// its width; each doubling of the world's width in pixels is one level more.
constexpr int TileLevelOffset = 2;

struct ModeInfo
{
    MouseMode mode;
    const char *text;
    const char *toolTip;
};
const ModeInfo modeInfos[] = {
    {MouseModePan, "Pan", "Pan the map; drag markers to move them"},
    {MouseModeRegionSelection, "Region", "Select a region"},
    {MouseModeRegionSelectionFromIcon, "Region from icon", "Select the region of an icon"},
    {MouseModeFilter, "Filter", "Filter by region"},
    {MouseModeSelectThumbnail, "Select", "Click markers to select their images"},
    {MouseModeZoomIntoGroup, "Zoom into", "Click a group to zoom into it"},
};
} // namespace

PindoWidget::PindoWidget(QWidget *parent)
    : QWidget(parent)
{
    GeoCoordinates::registerMetaType();
    setAcceptDrops(true);
    setMouseTracking(false);
    setFocusPolicy(Qt::WheelFocus);
    setMinimumSize(160, 120);
    setBackgroundImageFile(defaultBackgroundImagePath());
}

PindoWidget::~PindoWidget()
{
    // The control widget usually lives in the program's layout; when it was never placed there
    // it is still ours.
    if (m_controlWidget && !m_controlWidget->parentWidget()) {
        delete m_controlWidget;
    }
}

QSize PindoWidget::sizeHint() const
{
    return QSize(512, 300);
}

QString PindoWidget::defaultBackgroundImagePath()
{
    return QStringLiteral("/usr/share/xplanet/images/earth.jpg");
}

bool PindoWidget::setBackgroundImageFile(const QString &path)
{
    QImage image;
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        image.load(path);
    }
    m_background = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    update();
    return !m_background.isNull();
}

void PindoWidget::setGroupedModel(ItemMarkerTiler *tiler)
{
    if (m_tiler) {
        disconnect(m_tiler, nullptr, this, nullptr);
    }
    m_tiler = tiler;
    if (m_tiler) {
        connect(m_tiler, &ItemMarkerTiler::signalTilesOrSelectionChanged, this, &PindoWidget::slotTilerChanged);
    }
    update();
}

ItemMarkerTiler *PindoWidget::groupedModel() const
{
    return m_tiler;
}

DragDropHandler *PindoWidget::dragDropHandler() const
{
    return m_dragDropHandler;
}

void PindoWidget::slotTilerChanged()
{
    if (m_active) {
        update();
    }
}

void PindoWidget::setActive(bool active)
{
    m_active = active;
    update();
}

void PindoWidget::setDragDropHandler(DragDropHandler *handler)
{
    m_dragDropHandler = handler;
}

void PindoWidget::setVisibleMouseModes(MouseModes modes)
{
    m_visibleModes = modes;
    updateControlWidget();
}

void PindoWidget::setAvailableMouseModes(MouseModes modes)
{
    m_availableModes = modes;
    if (!(m_availableModes & m_mouseMode)) {
        for (const ModeInfo &info : modeInfos) {
            if (m_availableModes & info.mode) {
                setMouseMode(info.mode);
                break;
            }
        }
    }
    updateControlWidget();
}

void PindoWidget::setMouseMode(MouseMode mode)
{
    if (!(m_availableModes & mode) || mode == m_mouseMode) {
        return;
    }
    m_mouseMode = mode;
    if (m_modeButtons && m_modeButtons->button(int(mode))) {
        m_modeButtons->button(int(mode))->setChecked(true);
    }
    Q_EMIT signalMouseModeChanged(mode);
}

QWidget *PindoWidget::getControlWidget()
{
    if (m_controlWidget) {
        return m_controlWidget;
    }
    // No parent: the program places it in its own layout, which then owns it.
    m_controlWidget = new QWidget;
    m_controlWidget->setObjectName(QStringLiteral("PindoControlWidget"));
    auto *layout = new QHBoxLayout(m_controlWidget);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *zoomInButton = new QToolButton(m_controlWidget);
    zoomInButton->setObjectName(QStringLiteral("zoomIn"));
    zoomInButton->setText(QStringLiteral("+"));
    zoomInButton->setToolTip(i18n("Zoom in"));
    connect(zoomInButton, &QToolButton::clicked, this, &PindoWidget::zoomIn);
    layout->addWidget(zoomInButton);

    auto *zoomOutButton = new QToolButton(m_controlWidget);
    zoomOutButton->setObjectName(QStringLiteral("zoomOut"));
    zoomOutButton->setText(QStringLiteral("\u2212"));
    zoomOutButton->setToolTip(i18n("Zoom out"));
    connect(zoomOutButton, &QToolButton::clicked, this, &PindoWidget::zoomOut);
    layout->addWidget(zoomOutButton);

    m_modeButtons = new QButtonGroup(m_controlWidget);
    m_modeButtons->setExclusive(true);
    for (const ModeInfo &info : modeInfos) {
        auto *button = new QToolButton(m_controlWidget);
        button->setObjectName(QStringLiteral("mouseMode%1").arg(int(info.mode)));
        button->setText(i18n(info.text));
        button->setToolTip(i18n(info.toolTip));
        button->setCheckable(true);
        m_modeButtons->addButton(button, int(info.mode));
        layout->addWidget(button);
    }
    connect(m_modeButtons, &QButtonGroup::idClicked, this, [this](int id) { setMouseMode(MouseMode(id)); });
    layout->addStretch(1);
    updateControlWidget();
    return m_controlWidget;
}

void PindoWidget::updateControlWidget()
{
    if (!m_modeButtons) {
        return;
    }
    for (const ModeInfo &info : modeInfos) {
        QAbstractButton *button = m_modeButtons->button(int(info.mode));
        button->setVisible(m_visibleModes & info.mode);
        button->setEnabled(m_availableModes & info.mode);
        button->setChecked(info.mode == m_mouseMode);
    }
}

void PindoWidget::readSettingsFromGroup(const DaxConfigGroup &group)
{
    bool ok = false;
    const GeoCoordinates center = GeoCoordinates::fromGeoUrl(group.readEntry(QStringLiteral("Center"), QString()), &ok);
    if (ok) {
        setCenter(center);
    }
    const int zoom = group.readEntry(QStringLiteral("Zoom"), QVariant(m_zoom)).toInt(&ok);
    if (ok) {
        setZoomLevel(zoom);
    }
    const int mode = group.readEntry(QStringLiteral("Mouse Mode"), QVariant(int(m_mouseMode))).toInt(&ok);
    if (ok) {
        for (const ModeInfo &info : modeInfos) {
            if (info.mode == mode) {
                setMouseMode(info.mode);
            }
        }
    }
}

void PindoWidget::saveSettingsToGroup(DaxConfigGroup &group) const
{
    group.writeEntry(QStringLiteral("Center"), getCenter().geoUrl());
    group.writeEntry(QStringLiteral("Zoom"), m_zoom);
    group.writeEntry(QStringLiteral("Mouse Mode"), int(m_mouseMode));
}

void PindoWidget::setCenter(const GeoCoordinates &center)
{
    if (!center.hasCoordinates()) {
        return;
    }
    m_centerLat = std::clamp(center.lat(), -90.0, 90.0);
    m_centerLon = std::clamp(center.lon(), -180.0, 180.0);
    update();
}

GeoCoordinates PindoWidget::getCenter() const
{
    return GeoCoordinates(m_centerLat, m_centerLon);
}

void PindoWidget::setZoomLevel(int zoom)
{
    zoom = std::clamp(zoom, 0, MaxZoom);
    if (zoom == m_zoom) {
        return;
    }
    m_zoom = zoom;
    update();
    Q_EMIT signalZoomChanged(m_zoom);
}

int PindoWidget::tileLevel() const
{
    const int level = int(std::lround(std::log2(worldWidth() / WorldWidthAtZoom0))) + TileLevelOffset;
    return std::clamp(level, 0, int(ItemMarkerTiler::MaxLevel));
}

void PindoWidget::zoomIn()
{
    setZoomLevel(m_zoom + 1);
}

void PindoWidget::zoomOut()
{
    setZoomLevel(m_zoom - 1);
}

void PindoWidget::zoomAround(int zoom, const QPointF &fixedPoint)
{
    const GeoCoordinates fixed = screenToGeo(fixedPoint);
    setZoomLevel(zoom);
    // Move the centre so the place under the cursor stays there.
    const double ppd = pixelsPerDegree();
    const QPointF offset = fixedPoint - QPointF(width() / 2.0, height() / 2.0);
    setCenter(GeoCoordinates(std::clamp(fixed.lat() + offset.y() / ppd, -90.0, 90.0),
                             std::clamp(fixed.lon() - offset.x() / ppd, -180.0, 180.0)));
}

// The world fills the widget at zoom 0, however large the window, and doubles with each step.
double PindoWidget::worldWidth() const
{
    const double atZoom0 = std::max({WorldWidthAtZoom0, double(width()), 2.0 * height()});
    return atZoom0 * double(1 << m_zoom);
}

double PindoWidget::pixelsPerDegree() const
{
    return worldWidth() / 360.0;
}

QPointF PindoWidget::geoToScreen(const GeoCoordinates &coordinates) const
{
    const double ppd = pixelsPerDegree();
    return QPointF(width() / 2.0 + (coordinates.lon() - m_centerLon) * ppd,
                   height() / 2.0 - (coordinates.lat() - m_centerLat) * ppd);
}

GeoCoordinates PindoWidget::screenToGeo(const QPointF &point) const
{
    const double ppd = pixelsPerDegree();
    const double lon = m_centerLon + (point.x() - width() / 2.0) / ppd;
    const double lat = m_centerLat - (point.y() - height() / 2.0) / ppd;
    return GeoCoordinates(std::clamp(lat, -90.0, 90.0), std::clamp(lon, -180.0, 180.0));
}

int PindoWidget::markerRadius(int count)
{
    if (count <= 1) {
        return 6;
    }
    return 9 + 3 * int(std::log10(double(count)));
}

int PindoWidget::groupAt(const QPointF &point) const
{
    if (!m_tiler || !m_active) {
        return -1;
    }
    const QVector<ItemMarkerTiler::Group> &groups = m_tiler->groupsAtLevel(tileLevel());
    int best = -1;
    double bestDistance = 0.0;
    for (int i = 0; i < groups.size(); ++i) {
        const QPointF center = geoToScreen(groups.at(i).coordinates);
        const double distance = std::hypot(center.x() - point.x(), center.y() - point.y());
        if (distance <= markerRadius(groups.at(i).markers.size()) + 2 && (best < 0 || distance < bestDistance)) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void PindoWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintBackground(painter);
    if (!m_tiler || !m_active) {
        return;
    }
    const QVector<ItemMarkerTiler::Group> &groups = m_tiler->groupsAtLevel(tileLevel());
    const QRectF visible = QRectF(rect()).adjusted(-30, -30, 30, 30);
    // Neighbouring tiles' markers may overlap: larger groups go on top, so their counts stay readable.
    QVector<int> order(groups.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&groups](int a, int b) { return groups.at(a).markers.size() < groups.at(b).markers.size(); });
    for (int i : order) {
        const ItemMarkerTiler::Group &group = groups.at(i);
        const QPointF center = geoToScreen(group.coordinates);
        if (!visible.contains(center)) {
            continue;
        }
        const bool beingMoved = m_drag == Drag::MovingMarkers && i == m_pressedGroup;
        paintMarker(painter, center, group.markers.size(), group.selectedCount > 0, beingMoved);
    }
    if (m_drag == Drag::MovingMarkers) {
        paintMarker(painter, m_lastPosition, m_movingIndices.size(), true, false);
    }
}

void PindoWidget::paintBackground(QPainter &painter)
{
    painter.fillRect(rect(), QColor(0x1b, 0x26, 0x33));
    const double ppd = pixelsPerDegree();
    const QPointF topLeft = geoToScreen(GeoCoordinates(90.0, -180.0));
    const QRectF world(topLeft, QSizeF(360.0 * ppd, 180.0 * ppd));
    const QRectF target = world.intersected(QRectF(rect()));
    if (target.isEmpty()) {
        return;
    }
    if (m_background.isNull()) {
        painter.fillRect(target, QColor(0x2c, 0x5d, 0x8a));
        paintGraticule(painter);
        return;
    }
    const double scale = m_background.width() / world.width();
    const QRectF source((target.left() - world.left()) * scale, (target.top() - world.top()) * scale,
                        target.width() * scale, target.height() * scale);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_background, source);
    painter.restore();
}

void PindoWidget::paintGraticule(QPainter &painter)
{
    const double ppd = pixelsPerDegree();
    // The finest step that keeps lines at least 60 pixels apart.
    static const double steps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30};
    double step = 30.0;
    for (double candidate : steps) {
        if (candidate * ppd >= 60.0) {
            step = candidate;
            break;
        }
    }
    const GeoCoordinates topLeft = screenToGeo(QPointF(0, 0));
    const GeoCoordinates bottomRight = screenToGeo(QPointF(width(), height()));
    painter.save();
    painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
    for (double lon = std::ceil(topLeft.lon() / step) * step; lon <= bottomRight.lon(); lon += step) {
        const double x = geoToScreen(GeoCoordinates(0, lon)).x();
        painter.drawLine(QPointF(x, geoToScreen(GeoCoordinates(topLeft.lat(), 0)).y()),
                         QPointF(x, geoToScreen(GeoCoordinates(bottomRight.lat(), 0)).y()));
    }
    for (double lat = std::ceil(bottomRight.lat() / step) * step; lat <= topLeft.lat(); lat += step) {
        const double y = geoToScreen(GeoCoordinates(lat, 0)).y();
        painter.drawLine(QPointF(geoToScreen(GeoCoordinates(0, topLeft.lon())).x(), y),
                         QPointF(geoToScreen(GeoCoordinates(0, bottomRight.lon())).x(), y));
    }
    painter.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
    const double equator = geoToScreen(GeoCoordinates(0, 0)).y();
    painter.drawLine(QPointF(geoToScreen(GeoCoordinates(0, topLeft.lon())).x(), equator),
                     QPointF(geoToScreen(GeoCoordinates(0, bottomRight.lon())).x(), equator));
    painter.restore();
}

void PindoWidget::paintMarker(QPainter &painter, const QPointF &center, int count, bool selected, bool ghost)
{
    const int radius = markerRadius(count);
    QColor fill = selected ? QColor(0xf3, 0x9c, 0x12) : QColor(0x29, 0x80, 0xb9);
    if (ghost) {
        fill.setAlpha(90);
    }
    painter.save();
    painter.setPen(QPen(ghost ? QColor(255, 255, 255, 90) : Qt::white, 2));
    painter.setBrush(fill);
    painter.drawEllipse(center, radius, radius);
    if (count > 1 && !ghost) {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(count >= 1000 ? 9 : 11);
        painter.setFont(font);
        painter.drawText(QRectF(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius), Qt::AlignCenter,
                         QString::number(count));
    }
    painter.restore();
}

void PindoWidget::selectGroup(int groupNumber, bool add)
{
    if (!m_tiler || groupNumber < 0) {
        return;
    }
    const QVector<ItemMarkerTiler::Group> &groups = m_tiler->groupsAtLevel(tileLevel());
    if (groupNumber >= groups.size()) {
        return;
    }
    const QList<QPersistentModelIndex> indices = m_tiler->groupIndices(groups.at(groupNumber));
    ModelHelper *helper = m_tiler->modelHelper();
    if (!helper) {
        return;
    }
    if (QItemSelectionModel *selection = helper->selectionModel()) {
        QItemSelection items;
        for (const QPersistentModelIndex &index : indices) {
            if (index.isValid()) {
                items.select(index, index);
            }
        }
        selection->select(items, (add ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect)
                                     | QItemSelectionModel::Rows);
    }
    helper->onIndicesClicked(indices);
}

void PindoWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_drag = Drag::Pending;
    m_pressPosition = event->position();
    m_lastPosition = event->position();
    m_pressedGroup = groupAt(event->position());
    event->accept();
}

void PindoWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (m_drag == Drag::None) {
        return;
    }
    const QPointF position = event->position();
    if (m_drag == Drag::Pending) {
        if ((position - m_pressPosition).manhattanLength() < QApplication::startDragDistance()) {
            return;
        }
        m_drag = Drag::Panning;
        if (m_pressedGroup >= 0 && m_mouseMode == MouseModePan && m_tiler && m_tiler->modelHelper()
            && (m_tiler->modelHelper()->modelFlags() & ModelHelper::FlagMovable)) {
            const QVector<ItemMarkerTiler::Group> &groups = m_tiler->groupsAtLevel(tileLevel());
            if (m_pressedGroup < groups.size()) {
                m_movingIndices = m_tiler->groupIndices(groups.at(m_pressedGroup));
                m_drag = Drag::MovingMarkers;
            }
        }
    }
    if (m_drag == Drag::Panning) {
        const double ppd = pixelsPerDegree();
        const QPointF delta = position - m_lastPosition;
        setCenter(GeoCoordinates(std::clamp(m_centerLat + delta.y() / ppd, -90.0, 90.0),
                                 std::clamp(m_centerLon - delta.x() / ppd, -180.0, 180.0)));
    }
    m_lastPosition = position;
    update();
}

void PindoWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_drag == Drag::None) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = m_drag;
    m_drag = Drag::None;
    if (drag == Drag::MovingMarkers) {
        const QList<QPersistentModelIndex> moved = m_movingIndices;
        m_movingIndices.clear();
        if (m_tiler && m_tiler->modelHelper()) {
            m_tiler->modelHelper()->onIndicesMoved(moved, screenToGeo(event->position()), QPersistentModelIndex());
        }
    } else if (drag == Drag::Pending && m_pressedGroup >= 0) {
        if (m_mouseMode == MouseModeZoomIntoGroup) {
            zoomAround(m_zoom + 2, event->position());
        } else {
            selectGroup(m_pressedGroup, event->modifiers() & Qt::ControlModifier);
        }
    }
    m_pressedGroup = -1;
    update();
}

void PindoWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && groupAt(event->position()) < 0) {
        zoomAround(m_zoom + 1, event->position());
    }
}

void PindoWidget::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) {
        zoomAround(m_zoom + steps, event->position());
    }
    event->accept();
}

void PindoWidget::dragEnterEvent(QDragEnterEvent *event)
{
    acceptDrag(event);
}

void PindoWidget::acceptDrag(QDragMoveEvent *event)
{
    const Qt::DropAction action = m_dragDropHandler ? m_dragDropHandler->accepts(event) : Qt::IgnoreAction;
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void PindoWidget::dragMoveEvent(QDragMoveEvent *event)
{
    acceptDrag(event);
}

void PindoWidget::dropEvent(QDropEvent *event)
{
    if (!m_dragDropHandler) {
        event->ignore();
        return;
    }
    const Qt::DropAction action = m_dragDropHandler->accepts(event);
    if (action != Qt::IgnoreAction && m_dragDropHandler->dropEvent(event, screenToGeo(event->position()))) {
        event->setDropAction(action);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace Pindo

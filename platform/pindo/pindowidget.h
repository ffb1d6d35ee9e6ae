#pragma once

#include "geocoordinates.h"

#include <QFlags>
#include <QImage>
#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QWidget>

class DaxConfigGroup;
class QButtonGroup;

namespace Pindo
{

class DragDropHandler;
class ItemMarkerTiler;

enum MouseMode {
    MouseModePan = 1,              // drag the map; drag markers to move them; click to select
    MouseModeRegionSelection = 2,
    MouseModeRegionSelectionFromIcon = 4,
    MouseModeFilter = 8,
    MouseModeSelectThumbnail = 16, // click markers to select their rows
    MouseModeZoomIntoGroup = 32,   // click a group to zoom into it
};
Q_DECLARE_FLAGS(MouseModes, MouseMode)

// An interactive world map in equirectangular projection showing the grouped markers of an
// ItemMarkerTiler. At the smallest zoom the world covers the whole widget, whatever its size. The user pans by dragging, zooms with the wheel, a double click or the
// control widget's buttons, moves markers by dragging them, and drops data from other widgets,
// which the drag-and-drop handler receives with the coordinates of the drop point.
class PindoWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MaxZoom = 16;

    explicit PindoWidget(QWidget *parent = nullptr);
    ~PindoWidget() override;

    void setGroupedModel(ItemMarkerTiler *tiler);
    ItemMarkerTiler *groupedModel() const;
    // An inactive map shows its background only and ignores model changes.
    void setActive(bool active);
    bool isActive() const { return m_active; }
    void setDragDropHandler(DragDropHandler *handler);
    DragDropHandler *dragDropHandler() const;

    void setVisibleMouseModes(MouseModes modes);
    MouseModes visibleMouseModes() const { return m_visibleModes; }
    void setAvailableMouseModes(MouseModes modes);
    MouseModes availableMouseModes() const { return m_availableModes; }
    void setMouseMode(MouseMode mode);
    MouseMode mouseMode() const { return m_mouseMode; }

    // Zoom buttons and the visible mouse modes, for the program to place beside the map.
    QWidget *getControlWidget();

    void readSettingsFromGroup(const DaxConfigGroup &group);
    void saveSettingsToGroup(DaxConfigGroup &group) const;

    void setCenter(const GeoCoordinates &center);
    GeoCoordinates getCenter() const;
    void setZoomLevel(int zoom);
    int zoomLevel() const { return m_zoom; }
    // The level of the tiler's groups shown at the current zoom.
    int tileLevel() const;

    QPointF geoToScreen(const GeoCoordinates &coordinates) const;
    GeoCoordinates screenToGeo(const QPointF &point) const;
    // The number of the group (at tileLevel()) whose marker is drawn under point, or -1.
    int groupAt(const QPointF &point) const;

    // The world image drawn below the markers; a graticule is drawn when there is none.
    static QString defaultBackgroundImagePath();
    bool setBackgroundImageFile(const QString &path);
    bool hasBackgroundImage() const { return !m_background.isNull(); }

    QSize sizeHint() const override;

public Q_SLOTS:
    void zoomIn();
    void zoomOut();

Q_SIGNALS:
    void signalZoomChanged(int zoom);
    void signalMouseModeChanged(Pindo::MouseMode mode);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void acceptDrag(QDragMoveEvent *event);
    double worldWidth() const;
    double pixelsPerDegree() const;
    void zoomAround(int zoom, const QPointF &fixedPoint);
    void paintBackground(QPainter &painter);
    void paintGraticule(QPainter &painter);
    void paintMarker(QPainter &painter, const QPointF &center, int count, bool selected, bool ghost);
    static int markerRadius(int count);
    void selectGroup(int group, bool add);
    void updateControlWidget();
    void slotTilerChanged();

    QPointer<ItemMarkerTiler> m_tiler;
    QPointer<DragDropHandler> m_dragDropHandler;
    bool m_active = false;
    MouseModes m_visibleModes = MouseModePan;
    MouseModes m_availableModes = MouseModePan;
    MouseMode m_mouseMode = MouseModePan;
    double m_centerLat = 0.0;
    double m_centerLon = 0.0;
    int m_zoom = 0;
    QImage m_background;

    // Mouse interaction in progress.
    enum class Drag { None, Pending, Panning, MovingMarkers };
    Drag m_drag = Drag::None;
    QPointF m_pressPosition;
    QPointF m_lastPosition;
    int m_pressedGroup = -1;
    QList<QPersistentModelIndex> m_movingIndices;

    QPointer<QWidget> m_controlWidget;
    QButtonGroup *m_modeButtons = nullptr;
};

} // namespace Pindo

Q_DECLARE_OPERATORS_FOR_FLAGS(Pindo::MouseModes)

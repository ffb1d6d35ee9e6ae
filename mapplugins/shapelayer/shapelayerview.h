#pragma once

#include "geodatastyle.h"

#include <QAbstractItemView>
#include <QPen>

namespace Mondri {
class GeoDataDocument;
class GeoDataGeometry;
class GeoDataObject;
class GeoPainter;
}

// An item view that is never shown: it walks the geometry model with the item-view machinery and
// paints what it finds with the painter of the current repaint.
class ShapeLayerView : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit ShapeLayerView(QWidget *parent = nullptr);
    ~ShapeLayerView() override;

    void setGeoPainter(Mondri::GeoPainter *painter) { m_painter = painter; }
    // Paints every geometry below the root index, if the root is a visible feature.
    void paintGeometries();

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;

private:
    Mondri::GeoDataObject *objectAt(const QModelIndex &index) const;
    void walk(const QModelIndex &index);
    bool renderGeometry(Mondri::GeoDataGeometry *geometry, const QString &styleUrl);
    const Mondri::GeoDataStyle &styleFor(const QString &styleUrl);
    void setBrushFromStyle(const Mondri::GeoDataStyle &style);
    void setPenFromStyle(const Mondri::GeoDataStyle &style);

    Mondri::GeoPainter *m_painter = nullptr;     // not owned; valid during paintGeometries()
    Mondri::GeoDataDocument *m_root = nullptr;   // null when the model's root is no document
    QString m_currentStyleUrl;                   // style URL of the last placemark met
    QPen m_pen;                                  // kept between geometries, so equal styles cost nothing
    QString m_styleUrl;                          // the style URL last looked up, and its style
    Mondri::GeoDataStyle m_style;
    bool m_styleKnown = false;
};

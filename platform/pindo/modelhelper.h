#pragma once

#include "geocoordinates.h"

#include <QFlags>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPoint>
#include <QSize>

class QAbstractItemModel;
class QItemSelectionModel;

namespace Pindo
{

// Tells the map where the rows of an item model lie and takes back what the user does to their
// markers. Programs derive from it for their own models.
class ModelHelper : public QObject
{
    Q_OBJECT
public:
    enum Flag {
        FlagNull = 0,
        FlagSnaps = 1,   // markers may be snapped onto other markers
        FlagMovable = 2, // markers may be dragged to another place
    };
    Q_DECLARE_FLAGS(Flags, Flag)

    explicit ModelHelper(QObject *parent = nullptr);

    // Rows snapped onto the row at targetIndex; nothing by default.
    virtual void snapItemsTo(const QModelIndex &targetIndex, const QList<QModelIndex> &snappedIndices);
    virtual QAbstractItemModel *model() const = 0;
    virtual QItemSelectionModel *selectionModel() const = 0;
    // True when the row has a position; fills *coordinates when given.
    virtual bool itemCoordinates(const QModelIndex &index, GeoCoordinates *coordinates = nullptr) const = 0;
    virtual Flags modelFlags() const;
    // The row's own marker icon and the offset of its hot spot; none by default.
    virtual QPixmap itemIcon(const QModelIndex &index, QPoint *offset) const;
    // By default every row has the model's flags.
    virtual Flags itemFlags(const QModelIndex &index) const;
    virtual QPixmap pixmapFromRepresentativeIndex(const QPersistentModelIndex &index, const QSize &size);
    // The row that stands for a group of rows; by default the first.
    virtual QPersistentModelIndex bestRepresentativeIndexFromList(const QList<QPersistentModelIndex> &list,
                                                                  int sortKey);
    // The user clicked a group of markers; nothing by default.
    virtual void onIndicesClicked(const QList<QPersistentModelIndex> &clickedIndices);
    // The user dragged the markers of movedIndices to targetCoordinates (or onto the row at
    // targetSnapIndex when valid). The base class does nothing.
    virtual void onIndicesMoved(const QList<QPersistentModelIndex> &movedIndices,
                                const GeoCoordinates &targetCoordinates,
                                const QPersistentModelIndex &targetSnapIndex);

Q_SIGNALS:
    // The positions of many rows may have changed: the map rebuilds its markers.
    void signalModelChangedDrastically();
    void signalVisibilityChanged();
    void signalThumbnailAvailableForIndex(const QPersistentModelIndex &index, const QPixmap &pixmap);
};

} // namespace Pindo

Q_DECLARE_OPERATORS_FOR_FLAGS(Pindo::ModelHelper::Flags)

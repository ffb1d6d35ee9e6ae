#pragma once

#include "geocoordinates.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QVector>

namespace Pindo
{

class ModelHelper;

// Groups the markers of a model into tiles, one grid per level, and serves the groups to the map.
// At level L the world is cut into 2^(L+1) by 2^L square tiles of 180/2^L degrees, starting at
// longitude -180 and latitude 90. The rows' positions are read once after each change of the
// model; each level's groups are made when first asked for and kept until the next change.
class ItemMarkerTiler : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxLevel = 20;

    struct TileIndex
    {
        int level = 0;
        int x = 0; // column, from longitude -180 eastwards
        int y = 0; // row, from latitude 90 southwards
        bool operator==(const TileIndex &other) const = default;
    };

    // The markers of one tile.
    struct Group
    {
        TileIndex tile;
        GeoCoordinates coordinates; // mean position of the markers
        int selectedCount = 0;
        QVector<int> markers;       // marker numbers, see markerIndex()
    };

    ItemMarkerTiler(ModelHelper *modelHelper, QObject *parent = nullptr);

    // Null once the helper is gone.
    ModelHelper *modelHelper() const;

    static TileIndex tileIndexFor(const GeoCoordinates &coordinates, int level);

    int markerCount();
    QPersistentModelIndex markerIndex(int marker);
    GeoCoordinates markerCoordinates(int marker);
    // The groups of a level (clamped to 0..MaxLevel), in the order their first markers have.
    const QVector<Group> &groupsAtLevel(int level);
    QList<QPersistentModelIndex> groupIndices(const Group &group);

public Q_SLOTS:
    // Forgets the positions read from the model; they are read again when next needed.
    void invalidate();
    // Forgets the groups' selection counts.
    void invalidateSelection();

Q_SIGNALS:
    void signalTilesOrSelectionChanged();

private:
    struct Marker
    {
        QPersistentModelIndex index;
        GeoCoordinates coordinates;
    };

    void ensureMarkers();
    void collectMarkers(const QModelIndex &parent);
    void connectModel();

    // Usually owned by the model, which may go first.
    QPointer<ModelHelper> m_modelHelper;
    QVector<Marker> m_markers;
    bool m_markersValid = false;
    QHash<int, QVector<Group>> m_levels;
};

} // namespace Pindo

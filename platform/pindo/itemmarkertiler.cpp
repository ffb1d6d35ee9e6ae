#include "itemmarkertiler.h"
#include "modelhelper.h"

#include <QAbstractItemModel>
#include <QItemSelectionModel>

#include <algorithm>
#include <cmath>

namespace Pindo
{

ItemMarkerTiler::ItemMarkerTiler(ModelHelper *modelHelper, QObject *parent)
    : QObject(parent)
    , m_modelHelper(modelHelper)
{
    connect(m_modelHelper, &ModelHelper::signalModelChangedDrastically, this, &ItemMarkerTiler::invalidate);
    connect(m_modelHelper, &ModelHelper::signalVisibilityChanged, this, &ItemMarkerTiler::invalidate);
    connect(m_modelHelper, &QObject::destroyed, this, &ItemMarkerTiler::invalidate);
    connectModel();
}

ModelHelper *ItemMarkerTiler::modelHelper() const
{
    return m_modelHelper;
}

void ItemMarkerTiler::connectModel()
{
    QAbstractItemModel *model = m_modelHelper->model();
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &ItemMarkerTiler::invalidate);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &ItemMarkerTiler::invalidate);
        connect(model, &QAbstractItemModel::rowsMoved, this, &ItemMarkerTiler::invalidate);
        connect(model, &QAbstractItemModel::modelReset, this, &ItemMarkerTiler::invalidate);
        connect(model, &QAbstractItemModel::layoutChanged, this, &ItemMarkerTiler::invalidate);
    }
    QItemSelectionModel *selection = m_modelHelper->selectionModel();
    if (selection) {
        connect(selection, &QItemSelectionModel::selectionChanged, this, &ItemMarkerTiler::invalidateSelection);
    }
}

ItemMarkerTiler::TileIndex ItemMarkerTiler::tileIndexFor(const GeoCoordinates &coordinates, int level)
{
    level = std::clamp(level, 0, MaxLevel);
    const double tileSize = 180.0 / double(1 << level);
    const int columns = 2 << level;
    const int rows = 1 << level;
    TileIndex index;
    index.level = level;
    index.x = std::clamp(int(std::floor((coordinates.lon() + 180.0) / tileSize)), 0, columns - 1);
    index.y = std::clamp(int(std::floor((90.0 - coordinates.lat()) / tileSize)), 0, rows - 1);
    return index;
}

void ItemMarkerTiler::invalidate()
{
    m_markersValid = false;
    m_markers.clear();
    m_levels.clear();
    Q_EMIT signalTilesOrSelectionChanged();
}

void ItemMarkerTiler::invalidateSelection()
{
    m_levels.clear();
    Q_EMIT signalTilesOrSelectionChanged();
}

void ItemMarkerTiler::collectMarkers(const QModelIndex &parent)
{
    const QAbstractItemModel *model = m_modelHelper->model();
    const int rows = model->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        GeoCoordinates coordinates;
        if (m_modelHelper->itemCoordinates(index, &coordinates) && coordinates.hasCoordinates()
            && std::abs(coordinates.lat()) <= 90.0 && std::abs(coordinates.lon()) <= 180.0) {
            m_markers.append({QPersistentModelIndex(index), coordinates});
        }
        if (model->hasChildren(index)) {
            collectMarkers(index);
        }
    }
}

void ItemMarkerTiler::ensureMarkers()
{
    if (m_markersValid) {
        return;
    }
    m_markers.clear();
    m_levels.clear();
    if (m_modelHelper && m_modelHelper->model()) {
        collectMarkers(QModelIndex());
    }
    m_markersValid = true;
}

int ItemMarkerTiler::markerCount()
{
    ensureMarkers();
    return m_markers.size();
}

QPersistentModelIndex ItemMarkerTiler::markerIndex(int marker)
{
    ensureMarkers();
    return marker >= 0 && marker < m_markers.size() ? m_markers.at(marker).index : QPersistentModelIndex();
}

GeoCoordinates ItemMarkerTiler::markerCoordinates(int marker)
{
    ensureMarkers();
    return marker >= 0 && marker < m_markers.size() ? m_markers.at(marker).coordinates : GeoCoordinates();
}

const QVector<ItemMarkerTiler::Group> &ItemMarkerTiler::groupsAtLevel(int level)
{
    ensureMarkers();
    level = std::clamp(level, 0, MaxLevel);
    auto cached = m_levels.constFind(level);
    if (cached != m_levels.constEnd()) {
        return *cached;
    }

    QVector<Group> groups;
    QVector<double> latSums;
    QVector<double> lonSums;
    QHash<quint64, int> groupOfTile;
    groupOfTile.reserve(m_markers.size() / 4 + 16);
    const QItemSelectionModel *selection = m_modelHelper ? m_modelHelper->selectionModel() : nullptr;
    const bool anySelected = selection && selection->hasSelection();
    for (int i = 0; i < m_markers.size(); ++i) {
        const Marker &marker = m_markers.at(i);
        const TileIndex tile = tileIndexFor(marker.coordinates, level);
        const quint64 key = (quint64(quint32(tile.x)) << 32) | quint32(tile.y);
        auto it = groupOfTile.find(key);
        if (it == groupOfTile.end()) {
            it = groupOfTile.insert(key, groups.size());
            Group group;
            group.tile = tile;
            groups.append(group);
            latSums.append(0.0);
            lonSums.append(0.0);
        }
        Group &group = groups[*it];
        group.markers.append(i);
        latSums[*it] += marker.coordinates.lat();
        lonSums[*it] += marker.coordinates.lon();
        if (anySelected && marker.index.isValid() && selection->isRowSelected(marker.index.row(), marker.index.parent())) {
            ++group.selectedCount;
        }
    }
    for (int g = 0; g < groups.size(); ++g) {
        const double count = groups.at(g).markers.size();
        groups[g].coordinates = GeoCoordinates(latSums.at(g) / count, lonSums.at(g) / count);
    }
    return *m_levels.insert(level, std::move(groups));
}

QList<QPersistentModelIndex> ItemMarkerTiler::groupIndices(const Group &group)
{
    ensureMarkers();
    QList<QPersistentModelIndex> result;
    result.reserve(group.markers.size());
    for (int marker : group.markers) {
        if (marker < m_markers.size()) {
            result.append(m_markers.at(marker).index);
        }
    }
    return result;
}

} // namespace Pindo

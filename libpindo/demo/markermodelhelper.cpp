#include "markermodelhelper.h"
#include "myimageitem.h"

#include <QAbstractItemModel>
#include <QItemSelectionModel>

MarkerModelHelper::MarkerModelHelper(QAbstractItemModel *model, QItemSelectionModel *selection)
    : ModelHelper(model)
    , m_model(model)
    , m_selection(selection)
{
    // Any change of a row may move its marker.
    connect(model, &QAbstractItemModel::dataChanged, this, &ModelHelper::signalModelChangedDrastically);
}

QAbstractItemModel *MarkerModelHelper::model() const
{
    return m_model;
}

QItemSelectionModel *MarkerModelHelper::selectionModel() const
{
    return m_selection;
}

bool MarkerModelHelper::itemCoordinates(const QModelIndex &index, Pindo::GeoCoordinates *coordinates) const
{
    const QVariant value = index.data(MyImageItem::CoordinatesRole);
    if (!value.canConvert<Pindo::GeoCoordinates>()) {
        return false;
    }
    // Images without GPS data carry coordinates without a position: they get no marker.
    const Pindo::GeoCoordinates found = value.value<Pindo::GeoCoordinates>();
    if (!found.hasCoordinates()) {
        return false;
    }
    if (coordinates) {
        *coordinates = found;
    }
    return true;
}

MarkerModelHelper::Flags MarkerModelHelper::modelFlags() const
{
    return FlagMovable;
}

void MarkerModelHelper::onIndicesMoved(const QList<QPersistentModelIndex> &movedIndices,
                                       const Pindo::GeoCoordinates &targetCoordinates, const QPersistentModelIndex &)
{
    for (const QPersistentModelIndex &index : movedIndices) {
        if (index.isValid()) {
            m_model->setData(index, QVariant::fromValue(targetCoordinates), MyImageItem::CoordinatesRole);
        }
    }
    Q_EMIT signalMarkersMoved(movedIndices);
}

#include "modelhelper.h"

namespace Pindo
{

ModelHelper::ModelHelper(QObject *parent)
    : QObject(parent)
{
    GeoCoordinates::registerMetaType();
}

void ModelHelper::snapItemsTo(const QModelIndex &, const QList<QModelIndex> &)
{
}

ModelHelper::Flags ModelHelper::modelFlags() const
{
    return FlagNull;
}

QPixmap ModelHelper::itemIcon(const QModelIndex &, QPoint *offset) const
{
    if (offset) {
        *offset = QPoint();
    }
    return QPixmap();
}

ModelHelper::Flags ModelHelper::itemFlags(const QModelIndex &) const
{
    return modelFlags();
}

QPixmap ModelHelper::pixmapFromRepresentativeIndex(const QPersistentModelIndex &, const QSize &)
{
    return QPixmap();
}

QPersistentModelIndex ModelHelper::bestRepresentativeIndexFromList(const QList<QPersistentModelIndex> &list, int)
{
    return list.isEmpty() ? QPersistentModelIndex() : list.first();
}

void ModelHelper::onIndicesClicked(const QList<QPersistentModelIndex> &)
{
}

void ModelHelper::onIndicesMoved(const QList<QPersistentModelIndex> &, const GeoCoordinates &,
                                 const QPersistentModelIndex &)
{
}

} // namespace Pindo

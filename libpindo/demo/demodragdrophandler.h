#pragma once

#include "dragdrophandler.h"

class QAbstractItemModel;

// Gives rows dragged from the image list the place where they are dropped on the map.
class DemoDragDropHandler : public Pindo::DragDropHandler
{
    Q_OBJECT
public:
    DemoDragDropHandler(QAbstractItemModel *model, QObject *parent);

    Qt::DropAction accepts(const QDropEvent *event) override;
    bool dropEvent(const QDropEvent *event, const Pindo::GeoCoordinates &dropCoordinates) override;
    QMimeData *createMimeData(const QList<QPersistentModelIndex> &modelIndices) override;

private:
    QAbstractItemModel *m_model;
};

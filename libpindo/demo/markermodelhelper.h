#pragma once

#include "modelhelper.h"

#include <QList>
#include <QPersistentModelIndex>

// Serves the image list's rows to the map as markers and writes the new place of moved markers
// back into the list.
class MarkerModelHelper : public Pindo::ModelHelper
{
    Q_OBJECT
public:
    MarkerModelHelper(QAbstractItemModel *model, QItemSelectionModel *selection);

    QAbstractItemModel *model() const override;
    QItemSelectionModel *selectionModel() const override;
    bool itemCoordinates(const QModelIndex &index, Pindo::GeoCoordinates *coordinates = nullptr) const override;
    Flags modelFlags() const override;
    void onIndicesMoved(const QList<QPersistentModelIndex> &movedIndices, const Pindo::GeoCoordinates &targetCoordinates,
                        const QPersistentModelIndex &targetSnapIndex) override;

Q_SIGNALS:
    void signalMarkersMoved(const QList<QPersistentModelIndex> &movedIndices);

private:
    QAbstractItemModel *m_model;
    QItemSelectionModel *m_selection;
};

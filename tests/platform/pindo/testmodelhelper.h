#pragma once

#include "modelhelper.h"

#include <QAbstractItemModel>
#include <QItemSelectionModel>

// A model helper over any item model whose rows keep their coordinates under role 33; it records
// the moves the map reports.
class TestModelHelper : public Pindo::ModelHelper
{
    Q_OBJECT
public:
    static constexpr int CoordinatesRole = Qt::UserRole + 1;

    TestModelHelper(QAbstractItemModel *model, QItemSelectionModel *selection)
        : ModelHelper(model)
        , m_model(model)
        , m_selection(selection)
    {
        connect(model, &QAbstractItemModel::dataChanged, this, &ModelHelper::signalModelChangedDrastically);
    }

    QAbstractItemModel *model() const override { return m_model; }
    QItemSelectionModel *selectionModel() const override { return m_selection; }
    bool itemCoordinates(const QModelIndex &index, Pindo::GeoCoordinates *coordinates) const override
    {
        const QVariant value = index.data(CoordinatesRole);
        if (!value.canConvert<Pindo::GeoCoordinates>()) {
            return false;
        }
        if (coordinates) {
            *coordinates = value.value<Pindo::GeoCoordinates>();
        }
        return true;
    }
    Flags modelFlags() const override { return FlagMovable; }
    void onIndicesMoved(const QList<QPersistentModelIndex> &movedIndices, const Pindo::GeoCoordinates &target,
                        const QPersistentModelIndex &) override
    {
        moves.append({movedIndices, target});
    }
    void onIndicesClicked(const QList<QPersistentModelIndex> &clickedIndices) override { clicks.append(clickedIndices); }

    struct Move
    {
        QList<QPersistentModelIndex> indices;
        Pindo::GeoCoordinates target;
    };
    QList<Move> moves;
    QList<QList<QPersistentModelIndex>> clicks;

private:
    QAbstractItemModel *m_model;
    QItemSelectionModel *m_selection;
};

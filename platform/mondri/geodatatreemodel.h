#pragma once

#include <QAbstractItemModel>

namespace Mondri {

class GeoDataContainer;
class GeoDataObject;

// The feature and geometry tree of loaded content as an item model with one column. Every index
// carries its object under ObjectPointerRole; the root index (an invalid QModelIndex) carries the
// root container, whose children are the top-level rows. The model does not own the tree.
class GeoDataTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit GeoDataTreeModel(GeoDataContainer *root, QObject *parent = nullptr);
    ~GeoDataTreeModel() override;

    GeoDataContainer *rootContainer() const { return m_root; }

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    GeoDataObject *objectAt(const QModelIndex &index) const;

    GeoDataContainer *m_root;
};

} // namespace Mondri

#include "geodatatreemodel.h"

#include "geodatacontainer.h"
#include "geodatageometry.h"
#include "mondriglobal.h"

namespace Mondri {

namespace {

QString geometryName(GeometryId id)
{
    switch (id) {
    case PointId: return QStringLiteral("Point");
    case LineStringId: return QStringLiteral("LineString");
    case LinearRingId: return QStringLiteral("LinearRing");
    case PolygonId: return QStringLiteral("Polygon");
    case MultiGeometryId: return QStringLiteral("MultiGeometry");
    case InvalidGeometryId: break;
    }
    return {};
}

} // namespace

GeoDataTreeModel::GeoDataTreeModel(GeoDataContainer *root, QObject *parent)
    : QAbstractItemModel(parent), m_root(root)
{
    // Queued connections and views that store the pointer in a QVariant find the type by this name.
    qRegisterMetaType<Mondri::GeoDataObject *>("Mondri::GeoDataObject*");
}

GeoDataTreeModel::~GeoDataTreeModel() = default;

GeoDataObject *GeoDataTreeModel::objectAt(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_root;
    return static_cast<GeoDataObject *>(index.internalPointer());
}

QModelIndex GeoDataTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || (parent.isValid() && parent.column() != 0))
        return {};
    GeoDataObject *object = objectAt(parent);
    if (!object)
        return {};
    GeoDataObject *child = object->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex GeoDataTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    GeoDataObject *parent = objectAt(child)->parent();
    if (!parent || parent == m_root)
        return {};
    return createIndex(parent->row(), 0, parent);
}

int GeoDataTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    GeoDataObject *object = objectAt(parent);
    return object ? object->childCount() : 0;
}

int GeoDataTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant GeoDataTreeModel::data(const QModelIndex &index, int role) const
{
    GeoDataObject *object = objectAt(index);
    if (!object)
        return {};
    if (role == ObjectPointerRole)
        return QVariant::fromValue(object);
    if (role == Qt::DisplayRole && index.isValid()) {
        if (object->isFeature())
            return static_cast<GeoDataFeature *>(object)->name();
        if (object->isGeometry())
            return geometryName(static_cast<GeoDataGeometry *>(object)->geometryId());
    }
    return {};
}

QVariant GeoDataTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return tr("Name");
    return {};
}

} // namespace Mondri

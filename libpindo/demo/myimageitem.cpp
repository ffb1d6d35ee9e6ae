#include "myimageitem.h"

#include "daxurl.h"

MyImageItem::MyImageItem(QTreeWidget *parent, const QUrl &url, const Pindo::GeoCoordinates &coordinates)
    : QTreeWidgetItem(parent)
    , m_coordinates(coordinates)
    , m_url(url)
{
}

QVariant MyImageItem::data(int column, int role) const
{
    if (role == CoordinatesRole) {
        return QVariant::fromValue(m_coordinates);
    }
    if (role == Qt::DisplayRole) {
        switch (column) {
        case 0:
            return DaxUrl::fileName(m_url);
        case 1:
            return m_coordinates.geoUrl();
        default:
            return QVariant();
        }
    }
    return QTreeWidgetItem::data(column, role);
}

void MyImageItem::setData(int column, int role, const QVariant &value)
{
    if (role == CoordinatesRole) {
        if (value.canConvert<Pindo::GeoCoordinates>()) {
            m_coordinates = value.value<Pindo::GeoCoordinates>();
            emitDataChanged();
        }
        return;
    }
    QTreeWidgetItem::setData(column, role, value);
}

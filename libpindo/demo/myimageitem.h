#pragma once

#include "geocoordinates.h"

#include <QTreeWidgetItem>
#include <QUrl>

// A row of the image list: the file name in column 0, the position as a geo URL in column 1, and
// the position itself under MyImageItem::CoordinatesRole for the map.
class MyImageItem : public QTreeWidgetItem
{
public:
    static constexpr int CoordinatesRole = Qt::UserRole + 1;

    MyImageItem(QTreeWidget *parent, const QUrl &url, const Pindo::GeoCoordinates &coordinates);

    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant &value) override;

    QUrl url() const { return m_url; }
    Pindo::GeoCoordinates coordinates() const { return m_coordinates; }

private:
    Pindo::GeoCoordinates m_coordinates;
    QUrl m_url;
};

#pragma once

#include <QList>
#include <QModelIndex>
#include <QTreeWidget>

class MyDragData;

// The image list; its selected rows can be dragged onto the map.
class MyTreeWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit MyTreeWidget(QWidget *parent = nullptr);

    // The drag data for the given indexes (one persistent index each).
    virtual MyDragData *createDragData(const QModelIndexList &indexes) const;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

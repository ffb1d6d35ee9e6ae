#include "mytreewidget.h"
#include "mydragdata.h"

#include <QDrag>

MyTreeWidget::MyTreeWidget(QWidget *parent)
    : QTreeWidget(parent)
{
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
}

MyDragData *MyTreeWidget::createDragData(const QModelIndexList &indexes) const
{
    QList<QPersistentModelIndex> persistent;
    persistent.reserve(indexes.size());
    for (const QModelIndex &index : indexes) {
        persistent.append(QPersistentModelIndex(index));
    }
    return new MyDragData(persistent);
}

void MyTreeWidget::startDrag(Qt::DropActions)
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return;
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(createDragData(selected));
    drag->exec(Qt::CopyAction);
}

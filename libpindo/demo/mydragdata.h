#pragma once

#include <QList>
#include <QMimeData>
#include <QPersistentModelIndex>

// The rows dragged out of the image list.
class MyDragData : public QMimeData
{
    Q_OBJECT
public:
    static QString mimeType();

    explicit MyDragData(const QList<QPersistentModelIndex> &draggedIndices = {});

    QList<QPersistentModelIndex> draggedIndices;
};

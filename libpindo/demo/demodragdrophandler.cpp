#include "demodragdrophandler.h"
#include "mydragdata.h"
#include "myimageitem.h"

#include <QAbstractItemModel>
#include <QDropEvent>

DemoDragDropHandler::DemoDragDropHandler(QAbstractItemModel *model, QObject *parent)
    : DragDropHandler(parent)
    , m_model(model)
{
}

Qt::DropAction DemoDragDropHandler::accepts(const QDropEvent *)
{
    return Qt::CopyAction;
}

bool DemoDragDropHandler::dropEvent(const QDropEvent *event, const Pindo::GeoCoordinates &dropCoordinates)
{
    const auto *dragData = qobject_cast<const MyDragData *>(event->mimeData());
    if (!dragData) {
        return false;
    }
    for (const QPersistentModelIndex &index : dragData->draggedIndices) {
        // Rows removed since the drag started are gone.
        if (index.isValid() && index.model() == m_model) {
            m_model->setData(index, QVariant::fromValue(dropCoordinates), MyImageItem::CoordinatesRole);
        }
    }
    return true;
}

QMimeData *DemoDragDropHandler::createMimeData(const QList<QPersistentModelIndex> &)
{
    return nullptr;
}

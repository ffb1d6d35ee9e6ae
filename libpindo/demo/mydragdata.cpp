#include "mydragdata.h"

QString MyDragData::mimeType()
{
    return QStringLiteral("application/x-pindo-demo-rows");
}

MyDragData::MyDragData(const QList<QPersistentModelIndex> &indices)
    : draggedIndices(indices)
{
    // The rows travel as indices inside this process; the format only names what is dragged.
    setData(mimeType(), QByteArray::number(indices.size()));
}

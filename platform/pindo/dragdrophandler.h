#pragma once

#include "geocoordinates.h"

#include <QObject>

class QDropEvent;
class QMimeData;
class QPersistentModelIndex;

namespace Pindo
{

// Decides what happens when something from another widget is dropped on the map.
class DragDropHandler : public QObject
{
    Q_OBJECT
public:
    explicit DragDropHandler(QObject *parent = nullptr);

    // The action the map offers while the drag is over it; Qt::IgnoreAction refuses it.
    virtual Qt::DropAction accepts(const QDropEvent *event) = 0;
    // The data was dropped at dropCoordinates. True when it was taken.
    virtual bool dropEvent(const QDropEvent *event, const GeoCoordinates &dropCoordinates) = 0;
    // Data for a drag that starts on the map (with the dragged rows); null when none may start.
    virtual QMimeData *createMimeData(const QList<QPersistentModelIndex> &modelIndices) = 0;
};

} // namespace Pindo

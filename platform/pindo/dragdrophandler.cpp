#include "dragdrophandler.h"

namespace Pindo
{

DragDropHandler::DragDropHandler(QObject *parent)
    : QObject(parent)
{
}

} // namespace Pindo

#include "graphgroup.h"

GraphGroup::GraphGroup(QObject *parent)
    : QObject(parent)
{
}

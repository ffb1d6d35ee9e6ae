#include "fileplugininterface.h"

namespace Grix {

FilePluginInterface::FilePluginInterface(const DaxComponentData &component, QObject *parent)
    : QObject(parent)
{
    Q_UNUSED(component)
}

FilePluginInterface::~FilePluginInterface() = default;

QString FilePluginInterface::lastError()
{
    return QStringLiteral("Default Error.");
}

}

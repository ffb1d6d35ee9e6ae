#include "xesamtypes.h"

#include <QDBusMetaType>

namespace XesamTypes {

void registerTypes()
{
    qDBusRegisterMetaType<XesamHits>();
}

} // namespace XesamTypes

#include "lookupaltitude.h"

namespace Pindo
{

LookupAltitude::LookupAltitude(QObject *parent)
    : QObject(parent)
{
    GeoCoordinates::registerMetaType();
}

} // namespace Pindo

#include "lookupfactory.h"
#include "lookupaltitudegeonames.h"

namespace Pindo
{

LookupAltitude *LookupFactory::getAltitudeLookup(const QString &backendName, QObject *parent)
{
    if (backendName == QLatin1String("geonames")) {
        return new LookupAltitudeGeonames(parent);
    }
    return nullptr;
}

} // namespace Pindo

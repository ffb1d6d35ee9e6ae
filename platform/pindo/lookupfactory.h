#pragma once

#include <QString>

class QObject;

namespace Pindo
{

class LookupAltitude;

// Makes altitude lookups by backend name.
class LookupFactory
{
public:
    // "geonames": the GeoNames elevation web service. Null for an unknown name.
    static LookupAltitude *getAltitudeLookup(const QString &backendName, QObject *parent);
};

} // namespace Pindo

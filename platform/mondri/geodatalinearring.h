#pragma once

#include "geodatalinestring.h"

namespace Mondri {

// A closed chain of positions: the last one connects back to the first, whether or not the file
// repeats the first position at the end.
class GeoDataLinearRing : public GeoDataLineString
{
public:
    GeometryId geometryId() const override { return LinearRingId; }
};

} // namespace Mondri

#pragma once

#include "geodatalatlonbox.h"
#include "geodataobject.h"
#include "mondriglobal.h"

namespace Mondri {

class GeoDataGeometry : public GeoDataObject
{
public:
    bool isGeometry() const override { return true; }
    virtual GeometryId geometryId() const = 0;
    // The smallest box around every position of the geometry.
    virtual GeoDataLatLonBox latLonBox() const = 0;
};

} // namespace Mondri

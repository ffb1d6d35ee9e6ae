#pragma once

#include "geodatacontainer.h"

namespace Mondri {

class GeoDataFolder : public GeoDataContainer
{
public:
    FeatureId featureId() const override { return FolderId; }
};

} // namespace Mondri

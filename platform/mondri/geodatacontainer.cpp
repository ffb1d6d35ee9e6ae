#include "geodatacontainer.h"

namespace Mondri {

GeoDataContainer::~GeoDataContainer() = default;

GeoDataObject *GeoDataContainer::child(int row) const
{
    if (row < 0 || row >= childCount())
        return nullptr;
    return m_features[row].get();
}

GeoDataFeature *GeoDataContainer::append(std::unique_ptr<GeoDataFeature> feature)
{
    adopt(feature.get(), this, childCount());
    m_features.push_back(std::move(feature));
    return m_features.back().get();
}

} // namespace Mondri

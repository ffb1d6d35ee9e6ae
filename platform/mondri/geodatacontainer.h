#pragma once

#include "geodatafeature.h"

#include <memory>
#include <vector>

namespace Mondri {

// A feature that holds other features and owns them.
class GeoDataContainer : public GeoDataFeature
{
public:
    GeoDataContainer() = default;
    GeoDataContainer(const GeoDataContainer &) = delete;
    GeoDataContainer &operator=(const GeoDataContainer &) = delete;
    ~GeoDataContainer() override;

    int childCount() const override { return int(m_features.size()); }
    GeoDataObject *child(int row) const override;

    GeoDataFeature *feature(int row) const { return m_features.at(row).get(); }
    GeoDataFeature *append(std::unique_ptr<GeoDataFeature> feature);

private:
    std::vector<std::unique_ptr<GeoDataFeature>> m_features;
};

} // namespace Mondri

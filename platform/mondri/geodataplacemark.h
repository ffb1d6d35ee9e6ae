#pragma once

#include "geodatafeature.h"
#include "geodatageometry.h"

#include <memory>

namespace Mondri {

// A feature with one geometry, which it owns. The geometry is its only child in the tree.
class GeoDataPlacemark : public GeoDataFeature
{
public:
    GeoDataPlacemark() = default;
    GeoDataPlacemark(const GeoDataPlacemark &) = delete;
    GeoDataPlacemark &operator=(const GeoDataPlacemark &) = delete;
    ~GeoDataPlacemark() override;

    FeatureId featureId() const override { return PlacemarkId; }

    int childCount() const override { return m_geometry ? 1 : 0; }
    GeoDataObject *child(int row) const override;

    GeoDataGeometry *geometry() const { return m_geometry.get(); }
    void setGeometry(std::unique_ptr<GeoDataGeometry> geometry);

private:
    std::unique_ptr<GeoDataGeometry> m_geometry;
};

} // namespace Mondri

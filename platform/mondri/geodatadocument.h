#pragma once

#include "geodatacontainer.h"
#include "geodatastyle.h"
#include "geodatastylemap.h"

#include <QHash>

namespace Mondri {

// The top of a loaded file. It keeps the shared styles and style maps by id.
class GeoDataDocument : public GeoDataContainer
{
public:
    bool isDocument() const override { return true; }
    FeatureId featureId() const override { return DocumentId; }

    // Adding a style or map whose id is already known keeps the first one, as a later duplicate
    // in the same file is the one nobody expects to win.
    void addStyle(const GeoDataStyle &style);
    void addStyleMap(const GeoDataStyleMap &map);

    // The style with that id; the default style when there is none.
    GeoDataStyle style(const QString &id) const;
    // The style map with that id; an empty map when there is none.
    GeoDataStyleMap styleMap(const QString &id) const;

    int styleCount() const { return int(m_styles.size()); }
    int styleMapCount() const { return int(m_styleMaps.size()); }

private:
    QHash<QString, GeoDataStyle> m_styles;
    QHash<QString, GeoDataStyleMap> m_styleMaps;
};

} // namespace Mondri

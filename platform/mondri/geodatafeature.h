#pragma once

#include "geodataobject.h"
#include "mondriglobal.h"

namespace Mondri {

// A named, possibly hidden item of map content that may refer to a shared style.
class GeoDataFeature : public GeoDataObject
{
public:
    bool isFeature() const override { return true; }
    virtual FeatureId featureId() const = 0;

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }

    // A reference to a style or style map, "#id" for one in the same file.
    QString styleUrl() const { return m_styleUrl; }
    void setStyleUrl(const QString &url) { m_styleUrl = url; }

private:
    QString m_name;
    QString m_styleUrl;
    bool m_visible = true;
};

} // namespace Mondri

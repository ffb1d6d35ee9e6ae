#pragma once

#include <QString>

namespace Mondri {

// The map layer a paint call belongs to. Plug-ins may use its name to tell layers apart.
class GeoSceneLayer
{
public:
    explicit GeoSceneLayer(const QString &name = QString()) : m_name(name) {}
    QString name() const { return m_name; }

private:
    QString m_name;
};

} // namespace Mondri

#pragma once

#include <QMap>
#include <QString>

namespace Mondri {

// A style map: state names ("normal", "highlight") to style URLs.
class GeoDataStyleMap : public QMap<QString, QString>
{
public:
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }

private:
    QString m_id;
};

} // namespace Mondri

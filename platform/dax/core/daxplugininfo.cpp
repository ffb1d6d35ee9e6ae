#include "daxplugininfo.h"

#include <QSharedData>

class DaxPluginInfoPrivate : public QSharedData
{
public:
    DaxService service;
    bool enabled = false;
};

DaxPluginInfo::DaxPluginInfo()
    : d(new DaxPluginInfoPrivate)
{
}

DaxPluginInfo::DaxPluginInfo(const DaxService &service)
    : d(new DaxPluginInfoPrivate)
{
    d->service = service;
    d->enabled = service.property(QStringLiteral("EnabledByDefault")).toBool();
}

DaxPluginInfo::DaxPluginInfo(const DaxPluginInfo &other) = default;
DaxPluginInfo &DaxPluginInfo::operator=(const DaxPluginInfo &other) = default;
DaxPluginInfo::~DaxPluginInfo() = default;

QList<DaxPluginInfo> DaxPluginInfo::fromServices(const DaxServiceList &services)
{
    QList<DaxPluginInfo> infos;
    for (const DaxService &service : services)
        infos.append(DaxPluginInfo(service));
    return infos;
}

bool DaxPluginInfo::isValid() const
{
    return d->service.isValid();
}

QString DaxPluginInfo::name() const
{
    return d->service.name();
}

QString DaxPluginInfo::icon() const
{
    return d->service.icon();
}

QString DaxPluginInfo::comment() const
{
    return d->service.comment();
}

DaxService DaxPluginInfo::service() const
{
    return d->service;
}

bool DaxPluginInfo::isPluginEnabled() const
{
    return d->enabled;
}

void DaxPluginInfo::setPluginEnabled(bool enabled)
{
    d->enabled = enabled;
}

bool DaxPluginInfo::operator<(const DaxPluginInfo &other) const
{
    const int byName = name().compare(other.name());
    if (byName != 0)
        return byName < 0;
    return d->service.entryPath() < other.d->service.entryPath();
}

bool DaxPluginInfo::operator==(const DaxPluginInfo &other) const
{
    return !(*this < other) && !(other < *this);
}

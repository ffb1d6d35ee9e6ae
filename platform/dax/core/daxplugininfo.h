#ifndef DAXPLUGININFO_H
#define DAXPLUGININFO_H

#include "daxservice.h"

#include <QExplicitlySharedDataPointer>

class DaxPluginInfoPrivate;

// What a program shows and remembers about an available plug-in. Copies share one record, so
// marking a copy enabled marks every copy (a record can key a map and still be switched on later).
// Records order by name, then by library path, so they can key a map.
class DaxPluginInfo
{
public:
    DaxPluginInfo();
    explicit DaxPluginInfo(const DaxService &service);
    DaxPluginInfo(const DaxPluginInfo &other);
    DaxPluginInfo &operator=(const DaxPluginInfo &other);
    ~DaxPluginInfo();

    static QList<DaxPluginInfo> fromServices(const DaxServiceList &services);

    bool isValid() const;
    QString name() const;
    QString icon() const;
    QString comment() const;
    DaxService service() const;
    bool isPluginEnabled() const;
    void setPluginEnabled(bool enabled);

    bool operator<(const DaxPluginInfo &other) const;
    bool operator==(const DaxPluginInfo &other) const;

private:
    QExplicitlySharedDataPointer<DaxPluginInfoPrivate> d;
};

#endif

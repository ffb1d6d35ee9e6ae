#include "services/servicetimings.h"

#include <xdgbasedirs.h>

#include <QSettings>

namespace {

qint64 milliseconds(const char *key, qint64 fallback)
{
    const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadOnly), QSettings::IniFormat);
    bool ok = false;
    const qint64 value = settings.value(QLatin1String("Debug/") + QLatin1String(key)).toLongLong(&ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

int ServiceTimings::intervalCheckPeriod()
{
    return int(qMin<qint64>(milliseconds("IntervalCheckPeriod", 60000), 1 << 30));
}

int ServiceTimings::cacheCleanerPeriod()
{
    return int(qMin<qint64>(milliseconds("CacheCleanerPeriod", 60000), 1 << 26));
}

qint64 ServiceTimings::cacheTimeoutUnit()
{
    return milliseconds("CacheTimeoutUnit", 60000);
}

#ifndef TALVORI_SERVICETIMINGS_H
#define TALVORI_SERVICETIMINGS_H

#include <QtGlobal>

// The periods of the background services, in milliseconds, from the "Debug" group of the server
// settings; the defaults are the real ones, the keys exist so tests need not wait minutes.
namespace ServiceTimings {

// "Debug/IntervalCheckPeriod": how often the interval check looks (60000).
int intervalCheckPeriod();
// "Debug/CacheCleanerPeriod": the cache cleaner's shortest period (60000); it backs off to ten
// times that while idle.
int cacheCleanerPeriod();
// "Debug/CacheTimeoutUnit": how long one minute of cache timeouts and check intervals lasts
// (60000).
qint64 cacheTimeoutUnit();

} // namespace ServiceTimings

#endif

// Fuzz target: arbitrary text through the geo URL reader. What it accepts must lie on the globe
// and come back as the same place when written and read again.

#include "geocoordinates.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

using Pindo::GeoCoordinates;

namespace {
bool close(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(a));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    bool ok = false;
    const GeoCoordinates place = GeoCoordinates::fromGeoUrl(text, &ok);
    if (!ok) {
        if (place.hasCoordinates() || !place.geoUrl().isEmpty()) {
            std::abort();
        }
        return 0;
    }
    if (std::abs(place.lat()) > 90.0 || std::abs(place.lon()) > 180.0) {
        std::abort();
    }
    bool again = false;
    const GeoCoordinates back = GeoCoordinates::fromGeoUrl(place.geoUrl(), &again);
    if (!again || !close(back.lat(), place.lat()) || !close(back.lon(), place.lon())
        || back.hasAltitude() != place.hasAltitude() || (place.hasAltitude() && !close(back.alt(), place.alt()))) {
        std::abort();
    }
    return 0;
}

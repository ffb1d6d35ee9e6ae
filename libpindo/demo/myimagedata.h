#pragma once

#include "geocoordinates.h"

#include <QUrl>

// What loading one image yields: its position (none when the file has none) and its URL.
struct MyImageData
{
    Pindo::GeoCoordinates coordinates;
    QUrl url;
};

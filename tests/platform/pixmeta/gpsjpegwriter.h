#pragma once

#include "gpstags.h"

#include <QString>

// Writes a small JPEG with the given tags to path. False (and a message in error) on failure.
class GpsJpegWriter
{
public:
    static bool write(const QString& path, const GpsTags& tags, QString* error = nullptr);
};

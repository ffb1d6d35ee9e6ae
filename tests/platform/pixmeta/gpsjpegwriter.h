#pragma once

#include <QString>

// The GPS tags of a test photo, in the text form libexiv2 reads ("50/1 17/1 5857/100", "N").
// An empty field leaves the tag out.
struct GpsTags
{
    QString latitudeRef;
    QString latitude;
    QString longitudeRef;
    QString longitude;
    QString altitudeRef;
    QString altitude;
};

// Writes a small JPEG with the given tags to path. False (and a message in error) on failure.
class GpsJpegWriter
{
public:
    static bool write(const QString& path, const GpsTags& tags, QString* error = nullptr);
};

#pragma once

#include <QString>

// The GPS tags of a test photo, in the text form libexiv2 reads ("50/1 17/1 5857/100", "N"); the
// XMP ones as XMP writes them ("50,17.976N", "25200/100"). An empty field leaves the tag out.
struct GpsTags
{
    QString latitudeRef;
    QString latitude;
    QString longitudeRef;
    QString longitude;
    QString altitudeRef;
    QString altitude;
    QString xmpLatitude = {};
    QString xmpLongitude = {};
    QString xmpAltitudeRef = {};
    QString xmpAltitude = {};
};

#pragma once

#include "gpstags.h"

#include <QByteArray>

namespace Exiv2 {
class ExifData;
class XmpData;
}

// Turns GpsTags into libexiv2 metadata, for the writers of test photos.
class GpsExif
{
public:
    // Adds the EXIF and the XMP tags (either may be null).
    static void apply(const GpsTags &tags, Exiv2::ExifData *exif, Exiv2::XmpData *xmp);
    // The EXIF tags as a TIFF structure, the way containers without their own EXIF layout carry
    // them. Empty when libexiv2 refuses the tags.
    static QByteArray encode(const GpsTags &tags);
};

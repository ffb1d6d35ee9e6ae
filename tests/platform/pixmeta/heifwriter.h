#pragma once

#include "gpstags.h"

#include <QByteArray>
#include <QString>

// Writes the smallest HEIF file libexiv2 reads metadata from: an ISO base media file with the
// brand given (heic, avif, mif1) and one item, the EXIF block with the tags. libexiv2 reads such
// files but cannot write them, so the tests build them here. There is no picture in it: the
// metadata is all that is read.
class HeifWriter
{
public:
    static bool write(const QString &path, const GpsTags &tags, const QByteArray &brand = "heic", QString *error = nullptr);
};

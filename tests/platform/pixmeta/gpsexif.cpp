#include "gpsexif.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <exception>

namespace {

void setTag(Exiv2::ExifData &exif, const char *key, Exiv2::TypeId type, const QString &text)
{
    if (text.isEmpty()) {
        return;
    }
    Exiv2::Value::AutoPtr value = Exiv2::Value::create(type);
    value->read(text.toStdString());
    exif.add(Exiv2::ExifKey(key), value.get());
}

void setTag(Exiv2::XmpData &xmp, const char *key, const QString &text)
{
    if (!text.isEmpty()) {
        xmp[key] = text.toStdString();
    }
}

} // namespace

void GpsExif::apply(const GpsTags &tags, Exiv2::ExifData *exif, Exiv2::XmpData *xmp)
{
    if (exif) {
        setTag(*exif, "Exif.GPSInfo.GPSLatitudeRef", Exiv2::asciiString, tags.latitudeRef);
        setTag(*exif, "Exif.GPSInfo.GPSLatitude", Exiv2::unsignedRational, tags.latitude);
        setTag(*exif, "Exif.GPSInfo.GPSLongitudeRef", Exiv2::asciiString, tags.longitudeRef);
        setTag(*exif, "Exif.GPSInfo.GPSLongitude", Exiv2::unsignedRational, tags.longitude);
        setTag(*exif, "Exif.GPSInfo.GPSAltitudeRef", Exiv2::unsignedByte, tags.altitudeRef);
        setTag(*exif, "Exif.GPSInfo.GPSAltitude", Exiv2::unsignedRational, tags.altitude);
    }
    if (xmp) {
        setTag(*xmp, "Xmp.exif.GPSLatitude", tags.xmpLatitude);
        setTag(*xmp, "Xmp.exif.GPSLongitude", tags.xmpLongitude);
        setTag(*xmp, "Xmp.exif.GPSAltitudeRef", tags.xmpAltitudeRef);
        setTag(*xmp, "Xmp.exif.GPSAltitude", tags.xmpAltitude);
    }
}

QByteArray GpsExif::encode(const GpsTags &tags)
{
    try {
        Exiv2::ExifData exif;
        // A camera model, so a photo without GPS tags still carries EXIF.
        exif["Exif.Image.Model"] = "Test camera";
        apply(tags, &exif, nullptr);
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
        return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
    } catch (const std::exception &) {
        return {};
    }
}

#include "gpsjpegwriter.h"

#include <QFile>
#include <QImage>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <exception>

namespace {

void setTag(Exiv2::ExifData& exif, const char* key, Exiv2::TypeId type, const QString& text)
{
    if (text.isEmpty()) {
        return;
    }
    Exiv2::Value::AutoPtr value = Exiv2::Value::create(type);
    value->read(text.toStdString());
    exif.add(Exiv2::ExifKey(key), value.get());
}

} // namespace

bool GpsJpegWriter::write(const QString& path, const GpsTags& tags, QString* error)
{
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (!image.save(path, "JPEG")) {
        if (error) {
            *error = QStringLiteral("cannot write %1").arg(path);
        }
        return false;
    }
    try {
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        file->readMetadata();
        Exiv2::ExifData exif = file->exifData();
        setTag(exif, "Exif.GPSInfo.GPSLatitudeRef", Exiv2::asciiString, tags.latitudeRef);
        setTag(exif, "Exif.GPSInfo.GPSLatitude", Exiv2::unsignedRational, tags.latitude);
        setTag(exif, "Exif.GPSInfo.GPSLongitudeRef", Exiv2::asciiString, tags.longitudeRef);
        setTag(exif, "Exif.GPSInfo.GPSLongitude", Exiv2::unsignedRational, tags.longitude);
        setTag(exif, "Exif.GPSInfo.GPSAltitudeRef", Exiv2::unsignedByte, tags.altitudeRef);
        setTag(exif, "Exif.GPSInfo.GPSAltitude", Exiv2::unsignedRational, tags.altitude);
        file->setExifData(exif);
        file->writeMetadata();
        return true;
    } catch (const std::exception& e) {
        if (error) {
            *error = QString::fromLocal8Bit(e.what());
        }
        return false;
    }
}

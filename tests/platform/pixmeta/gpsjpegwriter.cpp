#include "gpsjpegwriter.h"

#include "gpsexif.h"

#include <QFile>
#include <QImage>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <exception>

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
        Exiv2::XmpData xmp = file->xmpData();
        GpsExif::apply(tags, &exif, &xmp);
        file->setExifData(exif);
        file->setXmpData(xmp);
        file->writeMetadata();
        return true;
    } catch (const std::exception& e) {
        if (error) {
            *error = QString::fromLocal8Bit(e.what());
        }
        return false;
    }
}

#include "pixmeta.h"

#include <QFile>

// libexiv2 0.27 still names std::auto_ptr in its headers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <cmath>
#include <exception>
#include <limits>
#include <optional>

namespace {

// Degrees, minutes and seconds (any trailing parts may be missing) as decimal degrees.
std::optional<double> degreesFromRationals(const Exiv2::Value& value)
{
    const long count = value.count();
    if (count < 1 || count > 3) {
        return std::nullopt;
    }
    double result = 0.0;
    double divisor = 1.0;
    for (long i = 0; i < count; ++i) {
        const Exiv2::Rational part = value.toRational(i);
        if (part.second == 0) {
            // An unset part is often written as 0/0; anything else over zero is garbage.
            if (part.first == 0) {
                continue;
            }
            return std::nullopt;
        }
        const double number = double(part.first) / double(part.second);
        if (!std::isfinite(number) || number < 0.0) {
            return std::nullopt;
        }
        result += number / divisor;
        divisor *= 60.0;
    }
    return result;
}

std::string firstCharacterOf(const Exiv2::ExifData& exif, const char* key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end()) {
        return {};
    }
    const std::string text = it->toString();
    return text.empty() ? std::string() : text.substr(0, 1);
}

} // namespace

struct Pixmeta::Private
{
    Exiv2::ExifData exif;
    QString lastError;
};

void initializeExiv2()
{
    // The XMP parser keeps global state that must exist before threads use it.
    Exiv2::XmpParser::initialize();
    // Damaged files are reported through load()'s result, not through messages on stderr.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
}

void cleanupExiv2()
{
    Exiv2::XmpParser::terminate();
}

Pixmeta::Pixmeta()
    : d(std::make_unique<Private>())
{
}

Pixmeta::~Pixmeta() = default;

bool Pixmeta::load(const QString& filePath)
{
    d->exif.clear();
    d->lastError.clear();
    if (!QFile::exists(filePath)) {
        d->lastError = QStringLiteral("File not found: %1").arg(filePath);
        return false;
    }
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(filePath).toStdString());
        if (!image.get()) {
            d->lastError = QStringLiteral("Cannot open %1").arg(filePath);
            return false;
        }
        image->readMetadata();
        d->exif = image->exifData();
        return true;
    } catch (const std::exception& e) {
        // libexiv2 throws for unknown formats and for files cut short or damaged.
        d->exif.clear();
        d->lastError = QStringLiteral("Cannot read the metadata of %1: %2").arg(filePath, QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool Pixmeta::getGPSInfo(double& altitude, double& latitude, double& longitude) const
{
    try {
        const Exiv2::ExifData& exif = d->exif;
        const auto latIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"));
        const auto lonIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLongitude"));
        if (latIt == exif.end() || lonIt == exif.end()) {
            return false;
        }
        const std::optional<double> lat = degreesFromRationals(latIt->value());
        const std::optional<double> lon = degreesFromRationals(lonIt->value());
        if (!lat || !lon || *lat > 90.0 || *lon > 180.0) {
            return false;
        }
        const std::string latRef = firstCharacterOf(exif, "Exif.GPSInfo.GPSLatitudeRef");
        const std::string lonRef = firstCharacterOf(exif, "Exif.GPSInfo.GPSLongitudeRef");
        latitude = (latRef == "S" || latRef == "s") ? -*lat : *lat;
        longitude = (lonRef == "W" || lonRef == "w") ? -*lon : *lon;

        altitude = std::numeric_limits<double>::quiet_NaN();
        const auto altIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSAltitude"));
        if (altIt != exif.end() && altIt->count() >= 1) {
            const Exiv2::Rational alt = altIt->value().toRational(0);
            if (alt.second != 0) {
                altitude = double(alt.first) / double(alt.second);
                const auto refIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSAltitudeRef"));
                if (refIt != exif.end() && refIt->count() >= 1 && refIt->toLong(0) == 1) {
                    altitude = -altitude;
                }
            }
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

QString Pixmeta::lastError() const
{
    return d->lastError;
}

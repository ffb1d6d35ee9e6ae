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
#include <string>
#include <vector>

namespace {

// A position and, when the same source gives one, an altitude (NaN otherwise).
struct Position
{
    double latitude;
    double longitude;
    double altitude;
};

// Degrees, minutes and seconds (trailing parts may be missing) as decimal degrees. Each part keeps
// its own unit, whatever the others hold: 0°30'0" is half a degree.
std::optional<double> fromSexagesimal(const std::vector<double> &parts)
{
    if (parts.empty() || parts.size() > 3) {
        return std::nullopt;
    }
    double result = 0.0;
    double unit = 1.0;
    for (double part : parts) {
        if (!std::isfinite(part) || part < 0.0) {
            return std::nullopt;
        }
        result += part / unit;
        unit *= 60.0;
    }
    return result;
}

// EXIF writes the parts as rationals. Cameras write an unset part as 0/0, which counts as zero; a
// value made of nothing but 0/0 is no position at all, and anything else over zero is garbage.
std::optional<double> degreesFromRationals(const Exiv2::Value &value)
{
    std::vector<double> parts;
    bool anySet = false;
    for (long i = 0; i < value.count(); ++i) {
        const Exiv2::Rational part = value.toRational(i);
        if (part.second == 0) {
            if (part.first != 0) {
                return std::nullopt;
            }
            parts.push_back(0.0);
            continue;
        }
        anySet = true;
        parts.push_back(double(part.first) / double(part.second));
    }
    return anySet ? fromSexagesimal(parts) : std::nullopt;
}

// The sign a reference gives (N and E: 1, S and W: -1); nullopt when it is none of the two it may be.
std::optional<double> signOf(const std::string &reference, char positive, char negative)
{
    if (reference.empty()) {
        return std::nullopt;
    }
    const char letter = char(std::toupper(static_cast<unsigned char>(reference.front())));
    if (letter == positive) {
        return 1.0;
    }
    if (letter == negative) {
        return -1.0;
    }
    return std::nullopt;
}

std::optional<double> withinRange(std::optional<double> degrees, double maximum)
{
    if (!degrees || *degrees > maximum) {
        return std::nullopt;
    }
    return degrees;
}

std::optional<Position> exifPosition(const Exiv2::ExifData &exif)
{
    const auto text = [&exif](const char *key) -> std::string {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        return it == exif.end() ? std::string() : it->toString();
    };
    const auto latIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"));
    const auto lonIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLongitude"));
    if (latIt == exif.end() || lonIt == exif.end()) {
        return std::nullopt;
    }
    const std::optional<double> lat = withinRange(degreesFromRationals(latIt->value()), 90.0);
    const std::optional<double> lon = withinRange(degreesFromRationals(lonIt->value()), 180.0);
    // Without its references a value cannot say which quarter of the globe it lies in.
    const std::optional<double> latSign = signOf(text("Exif.GPSInfo.GPSLatitudeRef"), 'N', 'S');
    const std::optional<double> lonSign = signOf(text("Exif.GPSInfo.GPSLongitudeRef"), 'E', 'W');
    if (!lat || !lon || !latSign || !lonSign) {
        return std::nullopt;
    }
    Position position { *latSign * *lat, *lonSign * *lon, std::numeric_limits<double>::quiet_NaN() };
    const auto altIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSAltitude"));
    if (altIt != exif.end() && altIt->count() >= 1) {
        const Exiv2::Rational alt = altIt->value().toRational(0);
        if (alt.second != 0) {
            position.altitude = double(alt.first) / double(alt.second);
            const auto refIt = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSAltitudeRef"));
            if (refIt != exif.end() && refIt->count() >= 1 && refIt->toLong(0) == 1) {
                position.altitude = -position.altitude;
            }
        }
    }
    return position;
}

// XMP writes a coordinate as text, "DDD,MM,SSk" or "DDD,MM.mmk" with k one of N, S, E, W.
std::optional<double> degreesFromXmp(const std::string &text, char positive, char negative, double maximum)
{
    std::string value = text;
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) {
        value.pop_back();
    }
    if (value.empty()) {
        return std::nullopt;
    }
    const std::optional<double> sign = signOf(value.substr(value.size() - 1), positive, negative);
    if (!sign) {
        return std::nullopt;
    }
    value.pop_back();
    std::vector<double> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        const std::string part = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const QByteArray bytes = QByteArray::fromStdString(part).trimmed();
        bool ok = false;
        parts.push_back(bytes.toDouble(&ok));
        if (!ok) {
            return std::nullopt;
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    const std::optional<double> degrees = withinRange(fromSexagesimal(parts), maximum);
    return degrees ? std::optional<double>(*sign * *degrees) : std::nullopt;
}

std::optional<Position> xmpPosition(const Exiv2::XmpData &xmp)
{
    const auto text = [&xmp](const char *key) -> std::string {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        return it == xmp.end() ? std::string() : it->toString();
    };
    const std::optional<double> lat = degreesFromXmp(text("Xmp.exif.GPSLatitude"), 'N', 'S', 90.0);
    const std::optional<double> lon = degreesFromXmp(text("Xmp.exif.GPSLongitude"), 'E', 'W', 180.0);
    if (!lat || !lon) {
        return std::nullopt;
    }
    Position position { *lat, *lon, std::numeric_limits<double>::quiet_NaN() };
    // A rational as text, "25200/100".
    const std::string altitude = text("Xmp.exif.GPSAltitude");
    const size_t slash = altitude.find('/');
    if (slash != std::string::npos) {
        bool okNumerator = false;
        bool okDenominator = false;
        const double numerator = QByteArray::fromStdString(altitude.substr(0, slash)).toDouble(&okNumerator);
        const double denominator = QByteArray::fromStdString(altitude.substr(slash + 1)).toDouble(&okDenominator);
        if (okNumerator && okDenominator && denominator != 0.0) {
            position.altitude = numerator / denominator * (text("Xmp.exif.GPSAltitudeRef") == "1" ? -1.0 : 1.0);
        }
    }
    return position;
}

std::optional<Position> positionOf(const Exiv2::Image &image)
{
    try {
        // Programs that edit a photo's position often write it to XMP only.
        const std::optional<Position> position = exifPosition(image.exifData());
        return position ? position : xmpPosition(image.xmpData());
    } catch (const std::exception &) {
        // A value libexiv2 cannot convert is no position; the file itself was read.
        return std::nullopt;
    }
}

// BigTIFF starts like TIFF but with 43 where TIFF has 42; libexiv2 0.27 reads no metadata from it.
bool isBigTiff(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray head = file.read(4);
    return head == QByteArray("II\x2b\x00", 4) || head == QByteArray("MM\x00\x2b", 4);
}

} // namespace

struct Pixmeta::Private
{
    // Worked out while the file is open, so none of its metadata needs copying.
    std::optional<Position> position;
    QString lastError;
};

void initializeExiv2()
{
    // The XMP parser keeps global state that must exist before threads use it.
    Exiv2::XmpParser::initialize();
    // Damaged files are reported through load()'s result, not through messages on stderr.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
#ifdef EXV_ENABLE_BMFF
    // HEIF, HEIC and AVIF photos (from phones) are read only when this is switched on; without it
    // they open as videos with no EXIF at all.
    Exiv2::enableBMFF(true);
#endif
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

bool Pixmeta::load(const QString &filePath)
{
    d->position.reset();
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
        d->position = positionOf(*image);
        return true;
    } catch (const Exiv2::AnyError &e) {
        d->position.reset();
        if (e.code() == Exiv2::kerFileContainsUnknownImageType) {
            d->lastError = isBigTiff(filePath)
                ? QStringLiteral("Unsupported format: %1 is a BigTIFF file, which libexiv2 cannot read").arg(filePath)
                : QStringLiteral("Unsupported format: %1 is no kind of file libexiv2 can read").arg(filePath);
        } else {
            d->lastError = QStringLiteral("Cannot read the metadata of %1: %2").arg(filePath, QString::fromLocal8Bit(e.what()));
        }
        return false;
    } catch (const std::exception &e) {
        // libexiv2 also throws standard exceptions for files cut short or damaged.
        d->position.reset();
        d->lastError = QStringLiteral("Cannot read the metadata of %1: %2").arg(filePath, QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool Pixmeta::getGPSInfo(double &altitude, double &latitude, double &longitude) const
{
    if (!d->position) {
        return false;
    }
    latitude = d->position->latitude;
    longitude = d->position->longitude;
    altitude = d->position->altitude;
    return true;
}

QString Pixmeta::lastError() const
{
    return d->lastError;
}

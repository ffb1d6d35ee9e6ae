#pragma once

#include <QString>

#include <memory>

// Sets libexiv2 up for use from several threads at once. Call once, from the main thread, before
// any Pixmeta object loads a file.
void initializeExiv2();
// Releases what initializeExiv2() set up. Call once, after every load has finished.
void cleanupExiv2();

// The metadata of one image file. Each object is used by one thread at a time; different objects
// may load files in parallel.
class Pixmeta
{
public:
    Pixmeta();
    ~Pixmeta();
    Pixmeta(const Pixmeta&) = delete;
    Pixmeta& operator=(const Pixmeta&) = delete;

    // Reads the metadata of the file: JPEG, TIFF, PNG and the others libexiv2 knows, HEIF, HEIC and
    // AVIF among them where the library was built with their support. False (and lastError())
    // when the file is missing, is of a format libexiv2 cannot read (the message then begins
    // "Unsupported format"), or is damaged so badly that its metadata cannot be read.
    bool load(const QString& filePath);

    // The GPS position in decimal degrees (south and west negative) and the altitude in metres
    // (below sea level negative; without a reference tag taken as above sea level), from EXIF, or
    // from XMP when EXIF has none. True when the file has a valid position: a latitude and a
    // longitude with their references (N or S, E or W), not made of unset (0/0) parts alone. The
    // altitude is NaN when the file gives none.
    bool getGPSInfo(double& altitude, double& latitude, double& longitude) const;

    QString lastError() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

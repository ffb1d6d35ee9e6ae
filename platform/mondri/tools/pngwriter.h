#pragma once

#include <QString>

class QImage;
class QIODevice;

// Writes map images as PNG. Rendered maps are large areas of few colours: deflated at a fast level
// without row filters they come out smaller than with the filters and levels meant for photos,
// and in a fraction of the time.
class PngWriter
{
public:
    // False (and errorString()) when the device fails. Opaque images are written without alpha.
    bool write(const QImage &image, QIODevice *device);
    QString errorString() const { return m_error; }

private:
    QString m_error;
};

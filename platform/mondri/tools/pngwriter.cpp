#include "pngwriter.h"

#include <QIODevice>
#include <QImage>

#include <png.h>

#include <csetjmp>

namespace {

struct Output
{
    QIODevice *device;
    QString *error;
};

void writeData(png_structp png, png_bytep data, size_t size)
{
    auto *output = static_cast<Output *>(png_get_io_ptr(png));
    if (output->device->write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        *output->error = output->device->errorString();
        png_error(png, "write failed");
    }
}

void flushData(png_structp)
{
}

void reportError(png_structp png, png_const_charp message)
{
    // A failed write has already said why.
    auto *error = static_cast<QString *>(png_get_error_ptr(png));
    if (error->isEmpty())
        *error = QString::fromLatin1(message);
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp)
{
}

} // namespace

bool PngWriter::write(const QImage &source, QIODevice *device)
{
    m_error.clear();
    // 32-bit rows in memory order B, G, R, A (or an unused byte): libpng is told to swap and drop.
    const bool alpha = source.hasAlphaChannel();
    const QImage image = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    Output output { device, &m_error };
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &m_error, reportError, ignoreWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        m_error = QStringLiteral("out of memory");
        return false;
    }
    // Errors jump back here; nothing below creates a C++ object a long jump could skip.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &output, writeData, flushData);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

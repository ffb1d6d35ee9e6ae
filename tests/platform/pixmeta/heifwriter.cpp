#include "heifwriter.h"

#include "gpsexif.h"

#include <QFile>

namespace {

void appendBigEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
}

QByteArray box(const char *type, const QByteArray &payload)
{
    QByteArray out;
    appendBigEndian(out, quint32(8 + payload.size()), 4);
    out.append(type, 4);
    return out + payload;
}

// A box with a version and flags ahead of its payload.
QByteArray fullBox(const char *type, int version, const QByteArray &payload)
{
    QByteArray head;
    appendBigEndian(head, quint32(version) << 24, 4);
    return box(type, head + payload);
}

// The meta box: a picture handler, one item of type Exif, and where that item's bytes lie.
QByteArray meta(quint32 exifOffset, quint32 exifLength)
{
    QByteArray handler;
    appendBigEndian(handler, 0, 4);
    handler += "pict";
    handler += QByteArray(12, '\0') + QByteArray(1, '\0');
    QByteArray entry;
    appendBigEndian(entry, 1, 2);       // item id
    appendBigEndian(entry, 0, 2);       // protection index
    entry += "Exif" + QByteArray(1, '\0');
    QByteArray items;
    appendBigEndian(items, 1, 2);
    items += fullBox("infe", 2, entry);
    QByteArray locations;
    locations += char(0x44);            // offsets and lengths of four bytes
    locations += char(0x00);            // no base offset
    appendBigEndian(locations, 1, 2);   // one item
    appendBigEndian(locations, 1, 2);   // its id
    appendBigEndian(locations, 0, 2);   // in this file
    appendBigEndian(locations, 1, 2);   // one extent
    appendBigEndian(locations, exifOffset, 4);
    appendBigEndian(locations, exifLength, 4);
    return fullBox("meta", 0, fullBox("hdlr", 0, handler) + fullBox("iinf", 0, items) + fullBox("iloc", 0, locations));
}

} // namespace

bool HeifWriter::write(const QString &path, const GpsTags &tags, const QByteArray &brand, QString *error)
{
    const QByteArray tiff = GpsExif::encode(tags);
    if (tiff.isEmpty()) {
        if (error)
            *error = QStringLiteral("libexiv2 refused the tags");
        return false;
    }
    // An EXIF item starts with the offset of the TIFF header behind the "Exif" mark.
    QByteArray exif;
    appendBigEndian(exif, 6, 4);
    exif += QByteArray("Exif\0\0", 6) + tiff;
    QByteArray fileType = brand;
    appendBigEndian(fileType, 0, 4);
    fileType += "mif1" + brand;
    const QByteArray head = box("ftyp", fileType);
    // The item's offset depends on the size of the meta box, which does not depend on the offset.
    const quint32 offset = quint32(head.size() + meta(0, 0).size() + 8);
    const QByteArray content = head + meta(offset, quint32(exif.size())) + box("mdat", exif);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

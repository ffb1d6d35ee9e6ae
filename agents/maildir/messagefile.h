#ifndef TALVORI_MESSAGEFILE_H
#define TALVORI_MESSAGEFILE_H

#include <QByteArray>
#include <QString>

// Reading one message file of a Maildir. A message is taken as damaged when it is empty or does
// not begin with a header field ("Name: value"); such a file is reported and left out, never
// stored half-understood.
namespace MessageFile {

// The whole file; false with *error.
bool read(const QString &path, QByteArray *message, QString *error);
// The message header up to and including the empty line that ends it, read without the rest of
// the file, and the file's size; false with *error for a file that cannot be read or is damaged.
bool readHeader(const QString &path, QByteArray *header, qint64 *size, QString *error);
// The header of a message already read.
QByteArray header(const QByteArray &message);
// Empty for bytes that look like a message, otherwise what is wrong with them.
QString damage(const QByteArray &start);

} // namespace MessageFile

#endif

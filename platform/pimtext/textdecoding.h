#ifndef TALVORI_TEXTDECODING_H
#define TALVORI_TEXTDECODING_H

#include <QByteArray>
#include <QString>

// Bytes of mails, vCards and calendars as Unicode, the way mail programs read them: by the charset
// they declare (with the aliases found in the wild, through GMime's charset table and iconv),
// and where that is missing or wrong, as UTF-8 when they are valid UTF-8 and as Windows-1252
// otherwise, so that no text is lost to a bad label.
namespace TextDecoding {

// Sets GMime up, once per process; every reader calls it before using GMime. Thread-safe.
void initialize();

QString decode(const QByteArray &bytes, const QByteArray &charset);

// Quoted-printable (RFC 2045): "=XX" escapes and soft line breaks ("=" at the end of a line); an
// escape that is not one is kept as it is.
QByteArray fromQuotedPrintable(const QByteArray &encoded);

} // namespace TextDecoding

#endif

#ifndef TALVORI_ISODATETIME_H
#define TALVORI_ISODATETIME_H

#include <QByteArray>
#include <QDateTime>
#include <QStringView>

// Date-times as SQLite keeps them: text in ISO 8601. Qt's own conversions of that text cost more
// than reading or writing a whole row, so the forms the server writes and SQLite's column defaults
// are handled here directly; anything else goes to Qt, with the same result.
namespace IsoDateTime {

// What QDateTime::toString(Qt::ISODateWithMs) gives, as UTF-8: "2024-05-01T10:20:30.400Z" in UTC.
QByteArray toText(const QDateTime &dateTime);

// What QDateTime::fromString(text, Qt::ISODate) gives, except that a time without a zone is UTC
// (the server stores UTC; SQLite's CURRENT_TIMESTAMP writes "2024-05-01 10:20:30").
QDateTime fromText(const QString &text);

} // namespace IsoDateTime

#endif

#ifndef TALVORI_LOCALSEARCHSCHEMA_H
#define TALVORI_LOCALSEARCHSCHEMA_H

#include <pimtext.h>

#include <QList>
#include <QString>

#include <string>

// How the local search index is laid out, in one place for the documents that are written and
// the queries that read them: one document per item, whose document id is the item id; the text
// of its fields under term prefixes; its collection, MIME type and Message-ID as exact terms; its
// date and the state it was indexed at as values.
//
// Query words (Xapian's query parser syntax):
//   from:     A      mail From                      also free text
//   to:       XTO    mail To and Cc                 also free text
//   subject:  S      mail Subject, event SUMMARY    also free text
//   body:     XB     mail text parts, event DESCRIPTION, contact NOTE, the text of other items
//   name:     XNAME  contact FN and N, event ORGANIZER and ATTENDEE names   also free text
//   email:    XEMAIL contact EMAIL, event ORGANIZER and ATTENDEE addresses  also free text
//   tel:      XTEL   contact TEL                    also free text
//   org:      XORG   contact ORG                    also free text
//   location: XLOC   event LOCATION, contact ADR and LABEL   also free text
//   msgid:    XMID   mail Message-ID, exact (boolean)
//   collection: XC   the item's collection id, exact (boolean)
//   mimetype: T      the item's MIME type, exact (boolean)
//   date:            ranges of the mail's Date or the event's DTSTART, by the day it is in the local
//                    time zone: date:20240101..20240331, date:2024-01-01.., date:..2023-12-31
// Words without a field match the body and every field marked "also free text"; the fields'
// text is indexed a second time without prefix for that, the body only once, under its prefix.
namespace LocalSearchSchema {

// The query language of the persistent searches this index runs; other engines leave them alone.
inline const QString QueryLanguage = QStringLiteral("XAPIAN");

struct TextField {
    const char *word;
    std::string prefix;
    QList<PimText::Field> fields;
    // Also indexed without prefix, so that words without a field find it.
    bool freeText;
};
const QList<TextField> &textFields();

struct BooleanField {
    const char *word;
    std::string prefix;
};
const QList<BooleanField> &booleanFields();
// The prefix of the boolean field of that word.
std::string booleanPrefix(const char *word);

// The text field a PimText field is indexed as; null for the Message-ID, an exact term.
const TextField *textFieldFor(PimText::Field field);
// The body's prefix, searched by words without a field besides the unprefixed terms.
std::string bodyPrefix();

// Value slots: the date as "YYYYMMDD" (what Xapian's date range processor compares), and the item
// state the document was made from (see LocalDocument).
constexpr unsigned DateSlot = 0;
constexpr unsigned StateSlot = 1;

// Word stemming of documents and queries.
constexpr const char *StemLanguage = "english";

// Written into the index's metadata; an index of another format is rebuilt.
constexpr const char *FormatKey = "talvori.format";
constexpr const char *Format = "1";

// A boolean term, cut to the length Xapian accepts.
std::string booleanTerm(const std::string &prefix, const QString &value);

} // namespace LocalSearchSchema

#endif

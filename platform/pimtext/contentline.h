#ifndef TALVORI_CONTENTLINE_H
#define TALVORI_CONTENTLINE_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One property of a vCard or an iCalendar object, the line format both share (RFC 6350 and 5545,
// and vCard 2.1 as address books still export it): "group.NAME;PARAM=value;...:value". parse()
// unfolds continuation lines, joins the soft line breaks of quoted-printable values and splits
// each line; text() decodes the value.
class ContentLine
{
public:
    QByteArray group;
    // Upper-case.
    QByteArray name;
    // Names upper-case, values without their quotes. A vCard 2.1 parameter without a name is
    // given one: "QUOTED-PRINTABLE" and "BASE64" become ENCODING, anything else TYPE.
    QList<QPair<QByteArray, QByteArray>> parameters;
    QByteArray value;

    // The first value of the parameter; empty when there is none.
    QByteArray parameter(const char *name) const;

    // The value as text: quoted-printable or base64 ENCODING undone, converted from its CHARSET (or
    // read as UTF-8, else Windows-1252), the escapes "\n", "\,", "\;" and "\\" resolved. A
    // structured value (N, ORG, ADR) has its ';'-separated components joined by spaces.
    QString text(bool structured = false) const;

    // Lines without a ':' are skipped.
    static QList<ContentLine> parse(const QByteArray &data);
};

#endif

#include "icalendartext.h"

#include "contentline.h"
#include "textdecoding.h"

#include <QTimeZone>

namespace {

bool isEntry(const QByteArray &component)
{
    return component == "VEVENT" || component == "VTODO" || component == "VJOURNAL";
}

} // namespace

QDateTime ICalendarText::parseDateTime(const QByteArray &value)
{
    const QByteArray trimmed = value.trimmed();
    const QDate date = QDate::fromString(QString::fromLatin1(trimmed.left(8)), QStringLiteral("yyyyMMdd"));
    if (!date.isValid())
        return QDateTime();
    QTime time(0, 0);
    if (trimmed.size() >= 15 && trimmed.at(8) == 'T') {
        time = QTime::fromString(QString::fromLatin1(trimmed.mid(9, 6)), QStringLiteral("HHmmss"));
        if (!time.isValid())
            return QDateTime();
    }
    return QDateTime(date, time, QTimeZone::utc());
}

PimText ICalendarText::read(const QByteArray &data)
{
    PimText text;
    // The components the current line is in, innermost last.
    QList<QByteArray> components;
    const QList<ContentLine> lines = ContentLine::parse(data);
    for (const ContentLine &line : lines) {
        if (line.name == "BEGIN") {
            components.append(line.value.trimmed().toUpper());
            continue;
        }
        if (line.name == "END") {
            if (!components.isEmpty())
                components.removeLast();
            continue;
        }
        if (components.isEmpty() || !isEntry(components.last()))
            continue;
        if (line.name == "SUMMARY") {
            text.add(PimText::Summary, line.text());
        } else if (line.name == "DESCRIPTION") {
            text.add(PimText::Description, line.text());
        } else if (line.name == "LOCATION") {
            text.add(PimText::Location, line.text());
        } else if (line.name == "ORGANIZER" || line.name == "ATTENDEE") {
            text.add(PimText::Name, TextDecoding::decode(line.parameter("CN"), line.parameter("CHARSET")));
            QString address = line.text();
            if (address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
                address = address.mid(7);
            text.add(PimText::Email, address);
        } else if (line.name == "DTSTART" && !text.date().isValid()) {
            text.setDate(parseDateTime(line.value));
        }
    }
    return text;
}

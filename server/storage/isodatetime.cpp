#include "storage/isodatetime.h"

namespace {

// The value of the digits text[at, at + count), or -1 when one of them is no digit.
int digits(const QChar *text, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

void appendNumber(char *&out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    out += width;
}

} // namespace

QByteArray IsoDateTime::toText(const QDateTime &dateTime)
{
    const QDate date = dateTime.date();
    if (dateTime.timeSpec() != Qt::UTC || !dateTime.isValid() || date.year() < 0 || date.year() > 9999)
        return dateTime.toString(Qt::ISODateWithMs).toUtf8();
    const QTime time = dateTime.time();
    QByteArray text(24, Qt::Uninitialized);
    char *out = text.data();
    appendNumber(out, date.year(), 4);
    *out++ = '-';
    appendNumber(out, date.month(), 2);
    *out++ = '-';
    appendNumber(out, date.day(), 2);
    *out++ = 'T';
    appendNumber(out, time.hour(), 2);
    *out++ = ':';
    appendNumber(out, time.minute(), 2);
    *out++ = ':';
    appendNumber(out, time.second(), 2);
    *out++ = '.';
    appendNumber(out, time.msec(), 3);
    *out = 'Z';
    return text;
}

QDateTime IsoDateTime::fromText(const QString &text)
{
    // "yyyy-MM-dd", "T" or a blank, "HH:mm:ss", optionally ".zzz", optionally "Z".
    const QChar *c = text.constData();
    const qsizetype size = text.size();
    const bool shape = (size == 19 || size == 20 || size == 23 || size == 24) && c[4] == u'-' && c[7] == u'-'
        && (c[10] == u'T' || c[10] == u' ') && c[13] == u':' && c[16] == u':';
    const bool withMs = size >= 23;
    const bool withZone = size == 20 || size == 24;
    if (shape && (!withMs || c[19] == u'.') && (!withZone || c[size - 1] == u'Z')) {
        const QDate date(digits(c, 4), digits(c + 5, 2), digits(c + 8, 2));
        const int hour = digits(c + 11, 2);
        const int ms = withMs ? digits(c + 20, 3) : 0;
        const QTime time(hour, digits(c + 14, 2), digits(c + 17, 2), ms);
        // Qt reads hour 24 as the next day's midnight; that and anything odd is left to it.
        if (date.isValid() && time.isValid() && hour < 24 && digits(c, 4) >= 0)
            return QDateTime(date, time, Qt::UTC);
    }
    QDateTime dateTime = QDateTime::fromString(text, Qt::ISODate);
    if (dateTime.isValid() && dateTime.timeSpec() == Qt::LocalTime)
        dateTime.setTimeSpec(Qt::UTC);
    return dateTime;
}

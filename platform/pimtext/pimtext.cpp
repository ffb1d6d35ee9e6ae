#include "pimtext.h"

#include "icalendartext.h"
#include "mailtext.h"
#include "textdecoding.h"
#include "vcardtext.h"

namespace {

// How far into a payload binary data shows itself.
constexpr qsizetype SniffLength = 4096;

bool beginsWith(const QByteArray &data, const char *word)
{
    // Leading blank lines and a byte order mark are common in exported files.
    qsizetype at = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < data.size() && (data.at(at) == ' ' || data.at(at) == '\t' || data.at(at) == '\r' || data.at(at) == '\n'))
        ++at;
    const qsizetype length = qsizetype(qstrlen(word));
    return data.size() - at >= length && qstrnicmp(data.constData() + at, word, length) == 0;
}

} // namespace

PimText PimText::fromPayload(const QString &mimeType, const QByteArray &payload)
{
    if (beginsWith(payload, "BEGIN:VCARD"))
        return VCardText::read(payload);
    if (beginsWith(payload, "BEGIN:VCALENDAR") || beginsWith(payload, "BEGIN:VEVENT")
        || beginsWith(payload, "BEGIN:VTODO") || beginsWith(payload, "BEGIN:VJOURNAL"))
        return ICalendarText::read(payload);
    if (mimeType.startsWith(QLatin1String("message/"), Qt::CaseInsensitive))
        return MailText::read(payload);
    return fromPlainText(payload);
}

PimText PimText::fromPlainText(const QByteArray &data)
{
    PimText text;
    if (data.left(SniffLength).contains('\0'))
        return text;
    text.add(Body, TextDecoding::decode(data, QByteArray()));
    return text;
}

void PimText::add(Field field, const QString &text)
{
    for (const QChar c : text) {
        if (!c.isSpace()) {
            m_entries.append({field, text});
            return;
        }
    }
}

void PimText::merge(const PimText &other)
{
    m_entries += other.m_entries;
    if (!m_date.isValid())
        m_date = other.m_date;
}

QStringList PimText::texts(Field field) const
{
    QStringList result;
    for (const Entry &entry : m_entries) {
        if (entry.field == field)
            result.append(entry.text);
    }
    return result;
}

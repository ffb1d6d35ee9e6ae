#ifndef TALVORI_PIMTEXT_H
#define TALVORI_PIMTEXT_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The searchable text of one item: the fields its format names (a mail's sender, a contact's name,
// an event's summary, ...) and the decoded text of its body, all as Unicode, and the moment it is
// filed under (a mail's date, an event's start). The readers of the formats (MailText, VCardText,
// ICalendarText) make it; fromPayload() picks the reader.
class PimText
{
public:
    enum Field {
        // mail
        From,
        To,
        Cc,
        Subject,
        MessageId,
        Body,
        // contact
        Name,
        Email,
        Phone,
        Organization,
        // event
        Summary,
        Description,
        Location,
    };
    struct Entry {
        Field field;
        QString text;
    };

    // The text of a payload of an item of that MIME type. Data that begins like a vCard or an
    // iCalendar object is read as one whatever the type says; a "message/..." type is read as a
    // mail; anything else is read as plain text when it is text (see fromPlainText()).
    static PimText fromPayload(const QString &mimeType, const QByteArray &payload);
    // Text (UTF-8, else Windows-1252) as the body; nothing for data that holds NUL bytes, which is
    // taken for binary.
    static PimText fromPlainText(const QByteArray &data);

    // Blank text is not kept.
    void add(Field field, const QString &text);
    // The entries of other after these; its date when this has none.
    void merge(const PimText &other);

    QList<Entry> entries() const { return m_entries; }
    QStringList texts(Field field) const;
    bool isEmpty() const { return m_entries.isEmpty() && !m_date.isValid(); }

    // Invalid when the item names none.
    QDateTime date() const { return m_date; }
    void setDate(const QDateTime &date) { m_date = date; }

private:
    QList<Entry> m_entries;
    QDateTime m_date;
};

#endif

#ifndef TALVORI_MESSAGEHEADER_H
#define TALVORI_MESSAGEHEADER_H

#include <QByteArray>
#include <QList>

// The header of an RFC 822 message: its fields with folded lines joined, looked up by name
// without regard to case. Whatever follows the first empty line (the body) is ignored, and so is
// a line that is no field.
class MessageHeader
{
public:
    explicit MessageHeader(const QByteArray &message);

    // The values of every field of that name, trimmed, in message order.
    QList<QByteArray> values(const QByteArray &name) const;

private:
    struct Field {
        QByteArray name; // lower case
        QByteArray value;
    };
    QList<Field> m_fields;
};

#endif

#include "messageheader.h"

MessageHeader::MessageHeader(const QByteArray &message)
{
    QList<QByteArray> unfolded;
    qsizetype start = 0;
    while (start < message.size()) {
        qsizetype end = message.indexOf('\n', start);
        if (end < 0)
            end = message.size();
        QByteArray line = message.mid(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break; // the body begins
        if ((line.startsWith(' ') || line.startsWith('\t')) && !unfolded.isEmpty())
            unfolded.last() += ' ' + line.trimmed();
        else
            unfolded.append(line);
    }
    for (const QByteArray &line : std::as_const(unfolded)) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        m_fields.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
}

QList<QByteArray> MessageHeader::values(const QByteArray &name) const
{
    const QByteArray wanted = name.toLower();
    QList<QByteArray> result;
    for (const Field &field : m_fields) {
        if (field.name == wanted)
            result.append(field.value);
    }
    return result;
}

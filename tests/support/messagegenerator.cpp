#include "messagegenerator.h"

#include "patterndevice.h"

MessageGenerator::MessageGenerator(const QByteArray &label)
    : m_label(label)
{
}

QByteArray MessageGenerator::header(int index) const
{
    const QByteArray number = QByteArray::number(index).rightJustified(7, '0');
    return "From: Bench Writer <writer@bench.invalid>\r\n"
           "To: Bench Reader <reader@bench.invalid>\r\n"
           "Subject: items bench " + m_label + ' ' + number + "\r\n"
           "Message-ID: <" + m_label + '.' + number + "@bench.invalid>\r\n"
           "Date: Tue, 02 Jan 2024 10:00:00 +0000\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n";
}

qsizetype MessageGenerator::minimumSize()
{
    return MessageGenerator("x").header(0).size() + 2;
}

QByteArray MessageGenerator::message(int index, qsizetype size) const
{
    QByteArray result = header(index);
    if (size < result.size() + 2)
        return QByteArray();
    // The body is the text pattern of a seed made from label and index, cut to fit; it always
    // ends in CR LF, and a cut that would leave a bare CR before it takes a letter instead.
    const qsizetype bodySize = size - result.size() - 2;
    PatternDevice pattern(bodySize, PatternDevice::seedOf(m_label + ':' + QByteArray::number(index)));
    pattern.open(QIODevice::ReadOnly);
    QByteArray body = pattern.readAll();
    if (body.endsWith('\r'))
        body[body.size() - 1] = 'A';
    result += body;
    result += "\r\n";
    return result;
}

#include "contentline.h"

#include "textdecoding.h"

namespace {

// Where c first appears outside double quotes in text, from `from`; -1 when it does not.
qsizetype indexOutsideQuotes(const QByteArray &text, char c, qsizetype from = 0)
{
    bool quoted = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i) == '"')
            quoted = !quoted;
        else if (text.at(i) == c && !quoted)
            return i;
    }
    return -1;
}

bool isQuotedPrintable(const QByteArray &logicalLine)
{
    const qsizetype colon = indexOutsideQuotes(logicalLine, ':');
    const QByteArray head = (colon < 0 ? logicalLine : logicalLine.left(colon)).toUpper();
    return head.contains("QUOTED-PRINTABLE");
}

QList<QByteArray> physicalLines(const QByteArray &data)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data.at(i) != '\r' && data.at(i) != '\n')
            continue;
        lines.append(data.mid(start, i - start));
        if (data.at(i) == '\r' && i + 1 < data.size() && data.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < data.size())
        lines.append(data.mid(start));
    return lines;
}

QList<QByteArray> logicalLines(const QByteArray &data)
{
    QList<QByteArray> logical;
    for (const QByteArray &line : physicalLines(data)) {
        if (!logical.isEmpty() && (line.startsWith(' ') || line.startsWith('\t'))) {
            logical.last().append(line.mid(1));
        } else if (!logical.isEmpty() && logical.last().endsWith('=') && isQuotedPrintable(logical.last())) {
            // A soft line break of vCard 2.1: the value goes on at the start of the next line.
            logical.last().append("\r\n" + line);
        } else {
            logical.append(line);
        }
    }
    return logical;
}

QByteArray unquoted(const QByteArray &value)
{
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QByteArray ContentLine::parameter(const char *wanted) const
{
    for (const auto &parameter : parameters) {
        if (parameter.first == wanted)
            return parameter.second;
    }
    return QByteArray();
}

QString ContentLine::text(bool structured) const
{
    const QByteArray encoding = parameter("ENCODING").toUpper();
    QByteArray bytes = value;
    if (encoding == "QUOTED-PRINTABLE")
        bytes = TextDecoding::fromQuotedPrintable(bytes);
    else if (encoding == "B" || encoding == "BASE64")
        bytes = QByteArray::fromBase64(bytes);
    const QString decoded = TextDecoding::decode(bytes, parameter("CHARSET"));

    QString text;
    text.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded.at(i);
        if (c == QLatin1Char('\\') && i + 1 < decoded.size()) {
            const QChar next = decoded.at(++i);
            text.append(next == QLatin1Char('n') || next == QLatin1Char('N') ? QChar(QLatin1Char('\n')) : next);
        } else if (c == QLatin1Char(';') && structured) {
            text.append(QLatin1Char(' '));
        } else {
            text.append(c);
        }
    }
    return text;
}

QList<ContentLine> ContentLine::parse(const QByteArray &data)
{
    QList<ContentLine> result;
    for (const QByteArray &line : logicalLines(data)) {
        const qsizetype colon = indexOutsideQuotes(line, ':');
        if (colon <= 0)
            continue;
        ContentLine property;
        property.value = line.mid(colon + 1);
        const QByteArray head = line.left(colon);
        qsizetype end = indexOutsideQuotes(head, ';');
        const QByteArray fullName = head.left(end < 0 ? head.size() : end).trimmed();
        const qsizetype dot = fullName.indexOf('.');
        property.group = dot < 0 ? QByteArray() : fullName.left(dot);
        property.name = fullName.mid(dot + 1).toUpper();
        while (end >= 0) {
            const qsizetype next = indexOutsideQuotes(head, ';', end + 1);
            const QByteArray parameter = head.mid(end + 1, next < 0 ? -1 : next - end - 1).trimmed();
            end = next;
            if (parameter.isEmpty())
                continue;
            const qsizetype equals = indexOutsideQuotes(parameter, '=');
            if (equals >= 0) {
                property.parameters.append({parameter.left(equals).trimmed().toUpper(), unquoted(parameter.mid(equals + 1).trimmed())});
            } else {
                const QByteArray bare = parameter.toUpper();
                const bool encoding = bare == "QUOTED-PRINTABLE" || bare == "BASE64";
                property.parameters.append({encoding ? QByteArray("ENCODING") : QByteArray("TYPE"), bare});
            }
        }
        result.append(property);
    }
    return result;
}

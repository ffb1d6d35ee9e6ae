#include "fetchline.h"

#include <imapparser.h>

namespace FetchLine {

QByteArray partValue(QByteArrayView line, const QByteArray &part)
{
    const QByteArray key = ' ' + part + ' ';
    const qsizetype at = line.indexOf(key);
    if (at < 0)
        return QByteArray();
    const QByteArrayView rest = line.sliced(at + key.size());
    if (rest.startsWith("NIL"))
        return QByteArrayLiteral("NIL");
    if (rest.startsWith("\"\""))
        return QByteArrayLiteral("");
    const qsizetype close = rest.indexOf("}\r\n");
    if (!rest.startsWith('{') || close < 0)
        return QByteArray();
    const qsizetype size = rest.sliced(1, close - 1).toLongLong();
    return rest.sliced(close + 3, qMin(size, rest.size() - close - 3)).toByteArray();
}

QByteArray remoteId(QByteArrayView line)
{
    const qsizetype at = line.indexOf(" REMOTEID ");
    if (at < 0)
        return QByteArray();
    QByteArray value;
    // The fields before the payload are short; the whole line need not be copied.
    ImapParser::parseString(line.sliced(at + 10, qMin<qsizetype>(line.size() - at - 10, 4096)).toByteArray(), value);
    return value;
}

qint64 number(QByteArrayView line, const QByteArray &attribute)
{
    // The first attribute follows the opening parenthesis, the others a blank.
    qsizetype start = line.indexOf("(" + attribute + ' ');
    if (start < 0)
        start = line.indexOf(' ' + attribute + ' ');
    if (start < 0)
        return -1;
    start += attribute.size() + 2;
    qsizetype end = start;
    while (end < line.size() && line.at(end) >= '0' && line.at(end) <= '9')
        ++end;
    return line.sliced(start, end - start).toLongLong();
}

QList<QByteArray> flags(QByteArrayView line)
{
    const qsizetype at = line.indexOf(" FLAGS (");
    if (at < 0)
        return {};
    const qsizetype end = line.indexOf(')', at);
    return line.sliced(at + 8, end - at - 8).toByteArray().split(' ');
}

} // namespace FetchLine

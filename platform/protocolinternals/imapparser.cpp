#include "imapparser.h"

int ImapParser::skipSpaces(const QByteArray &data, int pos)
{
    while (pos < data.size() && data.at(pos) == ' ')
        ++pos;
    return pos;
}

static bool isAtomDelimiter(char c)
{
    return c == ' ' || c == '(' || c == ')' || c == '\r' || c == '\n' || c == '"';
}

int ImapParser::parseString(const QByteArray &data, QByteArray &result, int start)
{
    result.clear();
    int pos = skipSpaces(data, qMax(start, 0));
    if (pos >= data.size())
        return data.size();

    if (data.at(pos) == '"') {
        ++pos;
        while (pos < data.size()) {
            const char c = data.at(pos);
            if (c == '"')
                return pos + 1;
            if (c == '\\' && pos + 1 < data.size()) {
                const char escaped = data.at(pos + 1);
                result.append(escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped);
                pos += 2;
                continue;
            }
            result.append(c);
            ++pos;
        }
        return pos; // unterminated: everything up to the end
    }

    if (data.at(pos) == '{') {
        const int close = data.indexOf('}', pos);
        bool ok = false;
        const qint64 size = close > pos ? data.mid(pos + 1, close - pos - 1).toLongLong(&ok) : -1;
        if (ok && size >= 0) {
            int begin = close + 1;
            if (begin < data.size() && data.at(begin) == '\r')
                ++begin;
            if (begin < data.size() && data.at(begin) == '\n')
                ++begin;
            const qint64 available = data.size() - begin;
            const int length = int(qMin(size, available));
            result = data.mid(begin, length);
            return begin + length;
        }
        // Not a literal header: fall through and read it as an atom.
    }

    int end = pos;
    while (end < data.size() && !isAtomDelimiter(data.at(end)))
        ++end;
    result = data.mid(pos, end - pos);
    if (result == "NIL")
        result.clear();
    return end;
}

int ImapParser::parseString(const QByteArray &data, QString &result, int start)
{
    QByteArray bytes;
    const int end = parseString(data, bytes, start);
    result = QString::fromUtf8(bytes);
    return end;
}

int ImapParser::parseNumber(const QByteArray &data, qint64 &result, bool *ok, int start)
{
    result = 0;
    if (ok)
        *ok = false;
    const int pos = skipSpaces(data, qMax(start, 0));
    int end = pos;
    while (end < data.size() && data.at(end) >= '0' && data.at(end) <= '9')
        ++end;
    if (end == pos)
        return qMax(start, 0);
    bool converted = false;
    result = data.mid(pos, end - pos).toLongLong(&converted);
    if (!converted) {
        result = 0;
        return qMax(start, 0);
    }
    if (ok)
        *ok = true;
    return end;
}

// Index just past the list that opens at data[open], honouring quoted strings and literals inside.
static int endOfSubList(const QByteArray &data, int open)
{
    int depth = 0;
    int pos = open;
    while (pos < data.size()) {
        const char c = data.at(pos);
        if (c == '"') {
            QByteArray skipped;
            pos = ImapParser::parseString(data, skipped, pos);
            continue;
        }
        if (c == '{') {
            QByteArray skipped;
            const int next = ImapParser::parseString(data, skipped, pos);
            pos = next > pos ? next : pos + 1;
            continue;
        }
        if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return pos + 1;
        ++pos;
    }
    return data.size();
}

int ImapParser::parseParenthesizedList(const QByteArray &data, QList<QByteArray> &result, int start)
{
    result.clear();
    int pos = skipSpaces(data, qMax(start, 0));
    if (pos >= data.size() || data.at(pos) != '(')
        return qMax(start, 0);
    ++pos;
    while (pos < data.size()) {
        const char c = data.at(pos);
        if (c == ')')
            return pos + 1;
        if (c == ' ' || c == '\r' || c == '\n') {
            ++pos;
            continue;
        }
        if (c == '(') {
            const int end = endOfSubList(data, pos);
            result.append(data.mid(pos, end - pos));
            pos = end;
            continue;
        }
        QByteArray element;
        const int end = parseString(data, element, pos);
        result.append(element);
        pos = end > pos ? end : pos + 1;
    }
    return data.size();
}

QByteArray ImapParser::quote(const QByteArray &data)
{
    QByteArray result;
    result.reserve(data.size() + 2);
    result.append('"');
    for (const char c : data) {
        switch (c) {
        case '"':
            result.append("\\\"");
            break;
        case '\\':
            result.append("\\\\");
            break;
        case '\r':
            result.append("\\r");
            break;
        case '\n':
            result.append("\\n");
            break;
        default:
            result.append(c);
        }
    }
    result.append('"');
    return result;
}

QByteArray ImapParser::join(const QList<QByteArray> &list, const QByteArray &separator)
{
    return list.join(separator);
}

void ImapParser::splitVersionedKey(const QByteArray &data, QByteArray &key, int &version)
{
    version = 0;
    key = data;
    const int open = data.lastIndexOf('[');
    if (open <= 0 || !data.endsWith(']'))
        return;
    bool ok = false;
    const int number = data.mid(open + 1, data.size() - open - 2).toInt(&ok);
    if (!ok || number < 0)
        return;
    key = data.left(open);
    version = number;
}

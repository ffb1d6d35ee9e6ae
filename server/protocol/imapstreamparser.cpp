#include "imapstreamparser.h"

#include "common/exception.h"

#include <QIODevice>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 LiteralChunkSize = 4096;
// What readString() reserves for a literal at most before its bytes have arrived.
constexpr qint64 LiteralReserveLimit = 1024 * 1024;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether the bytes can be the start of "dd-Mmm-yyyy hh:mm:ss +zzzz" (the day may be " d").
bool looksLikeDateTimePrefix(const char *text, qsizetype length)
{
    static const char pattern[] = "dd-aaa-dddd dd:dd:dd sdddd";
    for (qsizetype i = 0; i < length && i < qsizetype(sizeof(pattern)) - 1; ++i) {
        const char c = text[i];
        bool matches = false;
        switch (pattern[i]) {
        case 'd':
            matches = isDigit(c) || (i == 0 && c == ' ');
            break;
        case 'a':
            matches = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            break;
        case 's':
            matches = c == '+' || c == '-';
            break;
        default:
            matches = c == pattern[i];
        }
        if (!matches)
            return false;
    }
    return true;
}

} // namespace

ImapStreamParser::ImapStreamParser(QIODevice *device)
    : m_device(device)
{
}

bool ImapStreamParser::waitForMoreData(bool needed)
{
    if (!needed)
        return true;
    if (m_broken)
        throw ImapParserException("Unable to read more data");
    // Whatever stays buffered is the text of the command being read: literal chunks leave the
    // buffer as they are handed out.
    if (m_data.size() - m_position >= m_limits.maxCommandText || m_position >= m_limits.maxCommandText) {
        m_broken = true;
        throw ImapParserException("Command text is longer than the limit of " + QByteArray::number(m_limits.maxCommandText)
                                  + " bytes");
    }
    if (m_device->bytesAvailable() <= 0 && !m_device->waitForReadyRead(m_waitTimeout))
        return false;
    const QByteArray incoming = m_device->readAll();
    // The buffer grows as a growing command needs it, but never far past what a command may hold.
    const qsizetype total = m_data.size() + incoming.size();
    if (total > m_data.capacity())
        m_data.reserve(qMax(total, qMin<qsizetype>(2 * m_data.size(), m_limits.maxCommandText + incoming.size())));
    m_data.append(incoming);
    return true;
}

void ImapStreamParser::waitOrThrow(bool needed)
{
    if (!waitForMoreData(needed))
        throw ImapParserException("Unable to read more data");
}

void ImapStreamParser::stripLeadingSpaces()
{
    while (m_position < m_data.size() && m_data.at(m_position) == ' ')
        ++m_position;
}

void ImapStreamParser::skipSpacesWaiting()
{
    stripLeadingSpaces();
    while (exhausted()) {
        waitOrThrow(true);
        stripLeadingSpaces();
    }
}

void ImapStreamParser::compact()
{
    if (m_peeking)
        return;
    // Removing from the front of a QByteArray only moves its start, so this costs nothing per chunk.
    m_data.remove(0, m_position);
    m_consumed += m_position;
    m_position = 0;
}

bool ImapStreamParser::hasString()
{
    waitOrThrow(exhausted());
    const qsizetype saved = m_position;
    skipSpacesWaiting();
    const char c = m_data.at(m_position);
    m_position = saved;
    if (c == '{' || c == '"')
        return true;
    return !(c == ' ' || c == '(' || c == ')' || c == '[' || c == ']' || c == '\r' || c == '\n');
}

bool ImapStreamParser::hasLiteral()
{
    return readLiteralHeader(m_limits.maxLiteralSize);
}

bool ImapStreamParser::readLiteralHeader(qint64 maxSize)
{
    waitOrThrow(exhausted());
    const qsizetype saved = m_position;
    skipSpacesWaiting();
    if (m_data.at(m_position) != '{') {
        m_position = saved;
        return false;
    }

    qsizetype close = m_data.indexOf('}', m_position);
    while (close < 0) {
        waitOrThrow(true);
        close = m_data.indexOf('}', m_position);
    }
    const QByteArray sizeText = m_data.mid(m_position + 1, close - m_position - 1);
    m_position = close + 1;

    // Digits only, and no more than a 64-bit size holds. A size that makes no sense must not be
    // asked for: reading on would take the payload for commands. The line end stays unread so
    // that skipping the command ends at this line.
    bool ok = !sizeText.isEmpty() && std::all_of(sizeText.cbegin(), sizeText.cend(), isDigit);
    const qint64 size = ok ? sizeText.toLongLong(&ok) : -1;
    if (!ok)
        throw ImapParserException("Invalid literal size: " + sizeText);
    if (size > maxSize) {
        throw ImapParserException("Literal of " + sizeText + " bytes is larger than the limit of "
                                  + QByteArray::number(maxSize) + " bytes");
    }

    // The header's line end may still be on its way; it must not end up in the literal's content.
    waitOrThrow(exhausted());
    if (m_data.at(m_position) == '\r') {
        ++m_position;
        waitOrThrow(exhausted());
    }
    if (m_data.at(m_position) == '\n')
        ++m_position;

    m_literalSize = size;
    sendContinuationResponse(size);
    return true;
}

QByteArray ImapStreamParser::readWholeLiteral()
{
    // Growing by chunks would copy a large literal over and over; the size comes from the client,
    // so only a bounded amount is set aside up front.
    QByteArray result;
    result.reserve(qMin<qint64>(m_literalSize, LiteralReserveLimit));
    while (!atLiteralEnd())
        result.append(readLiteralPart(StreamingChunkSize));
    return result;
}

void ImapStreamParser::sendContinuationResponse(qint64 size)
{
    if (m_continuationWriter)
        m_continuationWriter("+ Ready for literal data (expecting " + QByteArray::number(size) + " bytes)");
}

QByteArray ImapStreamParser::readLiteralPart()
{
    return readLiteralPart(LiteralChunkSize);
}

QByteArray ImapStreamParser::readLiteralPart(qint64 maxSize)
{
    qint64 chunk = qMin(m_literalSize, maxSize);
    waitOrThrow(m_data.size() - m_position < chunk);
    if (m_data.size() - m_position < chunk)
        chunk = m_data.size() - m_position;

    m_literalSize -= chunk;
    if (m_position == 0 && chunk == m_data.size() && !m_peeking) {
        m_consumed += chunk;
        return std::exchange(m_data, QByteArray());
    }
    const QByteArray part = m_data.mid(m_position, chunk);
    m_position += chunk;
    compact();
    return part;
}

QByteArray ImapStreamParser::readString()
{
    skipSpacesWaiting();
    // Held whole, so it counts as the command's text.
    if (readLiteralHeader(qMin(m_limits.maxLiteralSize, m_limits.maxCommandText)))
        return readWholeLiteral();
    return parseQuotedString();
}

QString ImapStreamParser::readUtf8String()
{
    return QString::fromUtf8(readString());
}

QByteArray ImapStreamParser::peekString()
{
    const qsizetype saved = m_position;
    m_peeking = true;
    QByteArray result;
    try {
        result = readString();
    } catch (...) {
        m_position = saved;
        m_peeking = false;
        throw;
    }
    m_position = saved;
    m_peeking = false;
    return result;
}

QByteArray ImapStreamParser::parseQuotedString()
{
    skipSpacesWaiting();
    QByteArray result;

    if (m_data.at(m_position) == '"') {
        ++m_position;
        for (;;) {
            waitOrThrow(exhausted());
            // Copy the plain run up to the next quote or backslash in one go.
            qsizetype end = m_position;
            while (end < m_data.size() && m_data.at(end) != '"' && m_data.at(end) != '\\')
                ++end;
            result.append(m_data.constData() + m_position, end - m_position);
            m_position = end;
            if (exhausted())
                continue;
            if (m_data.at(m_position) == '"') {
                ++m_position;
                return result;
            }
            ++m_position; // the backslash
            waitOrThrow(exhausted());
            switch (m_data.at(m_position)) {
            case 'r':
                result.append('\r');
                break;
            case 'n':
                result.append('\n');
                break;
            case '\\':
                result.append('\\');
                break;
            case '"':
                result.append('"');
                break;
            default:
                throw ImapParserException("Unexpected '\\' in quoted string");
            }
            ++m_position;
        }
    }

    for (;;) {
        qsizetype end = m_position;
        while (end < m_data.size()) {
            const char c = m_data.at(end);
            if (c == ' ' || c == '(' || c == ')' || c == '\r' || c == '\n' || c == '"')
                break;
            ++end;
        }
        result.append(m_data.constData() + m_position, end - m_position);
        m_position = end;
        if (!exhausted())
            break;
        waitOrThrow(true);
    }

    if (result == "NIL")
        return QByteArray();
    while (result.contains("\\\\"))
        result.replace("\\\\", "\\");
    return result;
}

qint64 ImapStreamParser::readNumber(bool *ok)
{
    if (ok)
        *ok = false;
    skipSpacesWaiting();

    qsizetype end = m_position;
    for (;;) {
        while (end < m_data.size() && isDigit(m_data.at(end)))
            ++end;
        if (end < m_data.size())
            break;
        waitOrThrow(true);
    }

    bool converted = false;
    const qint64 value = m_data.mid(m_position, end - m_position).toLongLong(&converted);
    m_position = end;
    if (ok) {
        *ok = converted;
        return converted ? value : 0;
    }
    if (!converted)
        throw ImapParserException("Unable to parse number");
    return value;
}

bool ImapStreamParser::hasSequenceSet()
{
    waitOrThrow(exhausted());
    const qsizetype saved = m_position;
    skipSpacesWaiting();
    const char c = m_data.at(m_position);
    m_position = saved;
    return c == '*' || c == ':' || isDigit(c);
}

ImapSet ImapStreamParser::readSequenceSet()
{
    ImapSet result;
    skipSpacesWaiting();

    qint64 begin = -1;
    qint64 value = -1;
    // Intervals with a missing bound (",5", a lone ",") name nothing and are left out.
    const auto addInterval = [&result](qint64 from, qint64 to) {
        if (from >= 0 && to >= 0)
            result.add(ImapInterval(from, to));
    };

    for (;;) {
        if (exhausted() && !waitForMoreData(true)) {
            if (begin < 0)
                begin = value;
            addInterval(begin, value);
            return result;
        }
        const char c = m_data.at(m_position);
        if (c == '*') {
            value = 0;
            ++m_position;
        } else if (c == ':') {
            begin = value;
            ++m_position;
        } else if (isDigit(c)) {
            value = readNumber();
        } else {
            if (begin < 0)
                begin = value;
            addInterval(begin, value);
            begin = -1;
            if (c != ',')
                return result;
            value = -1;
            ++m_position;
        }
    }
}

bool ImapStreamParser::hasList()
{
    waitOrThrow(exhausted());
    const qsizetype saved = m_position;
    skipSpacesWaiting();
    const bool list = m_data.at(m_position) == '(';
    m_position = saved;
    return list;
}

void ImapStreamParser::beginList()
{
    waitOrThrow(exhausted());
    skipSpacesWaiting();
    if (m_data.at(m_position) != '(')
        throw ImapParserException("Stream not at a beginning of a list");
    ++m_position;
}

bool ImapStreamParser::atListEnd()
{
    waitOrThrow(exhausted());
    const qsizetype saved = m_position;
    skipSpacesWaiting();
    const char next = m_data.at(m_position);
    if (next == ')') {
        ++m_position;
        return true;
    }
    // A list ends on the line it began on (literals inside it are read whole).
    if (next == '\r' || next == '\n')
        throw ImapParserException("Unterminated list");
    // Callers read an element between two questions; one that cannot be read (a parenthesis where
    // a string belongs) leaves the stream where it was, and asking again would never end.
    const qint64 offset = m_consumed + m_position;
    if (offset == m_listElementAt)
        throw ImapParserException("Unexpected token in list");
    m_listElementAt = offset;
    m_position = saved;
    return false;
}

QList<QByteArray> ImapStreamParser::readParenthesizedList()
{
    QList<QByteArray> result;
    waitOrThrow(exhausted());
    skipSpacesWaiting();
    if (m_data.at(m_position) != '(')
        return result;
    ++m_position;

    int depth = 0;
    qsizetype subListStart = -1;
    bool joining = false;
    for (;;) {
        waitOrThrow(exhausted());
        const char c = m_data.at(m_position);
        if (c == '(') {
            if (depth == 0)
                subListStart = m_position;
            // The list itself is the first level.
            if (++depth >= m_limits.maxListDepth) {
                throw ImapParserException("List nested deeper than the limit of "
                                          + QByteArray::number(m_limits.maxListDepth) + " levels");
            }
            ++m_position;
        } else if (c == ')') {
            if (depth <= 0) {
                ++m_position;
                return result;
            }
            if (depth == 1)
                result.append(m_data.mid(subListStart, m_position - subListStart + 1));
            --depth;
            ++m_position;
        } else if (depth > 0 || c == ' ') {
            ++m_position;
        } else if (c == '[' || c == ']') {
            // A bracket continues the element before it ("BODY[...]" split by spaces); with no
            // element before it there is nothing to continue.
            if (result.isEmpty())
                throw ImapParserException(QByteArray("Unexpected '") + c + "' at the beginning of a list");
            result.last().append(c);
            joining = (c == '[');
            ++m_position;
        } else {
            const QByteArray string = readString();
            while (m_position < m_data.size() && (m_data.at(m_position) == '\r' || m_data.at(m_position) == '\n'))
                ++m_position;
            if (joining) {
                result.last().append(string);
            } else {
                if (result.size() >= m_limits.maxListElements) {
                    throw ImapParserException("List with more than " + QByteArray::number(m_limits.maxListElements)
                                              + " elements");
                }
                result.append(string);
            }
        }
    }
}

bool ImapStreamParser::hasDateTime()
{
    const qsizetype saved = m_position;
    const QDateTime dateTime = readDateTime();
    m_position = saved;
    return dateTime.isValid();
}

QDateTime ImapStreamParser::readDateTime()
{
    const qsizetype saved = m_position;
    waitOrThrow(exhausted());
    stripLeadingSpaces();

    const auto fail = [this, saved]() {
        m_position = saved;
        return QDateTime();
    };

    bool quoted = false;
    if (m_position < m_data.size() && m_data.at(m_position) == '"') {
        quoted = true;
        ++m_position;
    }
    // A date-time sent in pieces is waited for, but only while what has arrived still looks like
    // one: anything else (a literal header, say) may be followed by nothing until it is answered.
    const int needed = quoted ? 27 : 26;
    while (m_data.size() - m_position < needed
           && looksLikeDateTimePrefix(m_data.constData() + m_position, m_data.size() - m_position)) {
        if (!waitForMoreData(true))
            break;
    }
    if (m_data.size() - m_position < needed)
        return fail();

    const char *text = m_data.constData() + m_position;
    const auto number = [text](int offset, int length, bool *ok) {
        return QByteArray(text + offset, length).toInt(ok);
    };

    bool ok = false;
    int day = 0;
    if (text[0] == ' ') {
        ok = isDigit(text[1]);
        day = text[1] - '0';
    } else {
        day = number(0, 2, &ok);
    }
    if (!ok)
        return fail();

    static const QByteArray months("janfebmaraprmayjunjulaugsepoctnovdec");
    const int monthIndex = months.indexOf(QByteArray(text + 3, 3).toLower());
    // Three letters spanning two month names ("anf") are no month.
    if (monthIndex < 0 || monthIndex % 3 != 0)
        return fail();
    const int month = monthIndex / 3 + 1;

    bool okYear, okHours, okMinutes, okSeconds, okZoneHours, okZoneMinutes;
    const int year = number(7, 4, &okYear);
    const int hours = number(12, 2, &okHours);
    const int minutes = number(15, 2, &okMinutes);
    const int seconds = number(18, 2, &okSeconds);
    const char zoneSign = text[21];
    const int zoneHours = number(22, 2, &okZoneHours);
    const int zoneMinutes = number(24, 2, &okZoneMinutes);
    if (!(okYear && okHours && okMinutes && okSeconds && okZoneHours && okZoneMinutes))
        return fail();

    QDateTime dateTime(QDate(year, month, day), QTime(hours, minutes, seconds), Qt::UTC);
    if (!dateTime.isValid())
        return fail();
    const int offset = zoneHours * 3600 + zoneMinutes * 60;
    dateTime = dateTime.addSecs(zoneSign == '-' ? offset : -offset);

    m_position += 26;
    if (quoted && m_position < m_data.size() && m_data.at(m_position) == '"')
        ++m_position;
    return dateTime;
}

QByteArray ImapStreamParser::readChar()
{
    waitOrThrow(exhausted());
    return QByteArray(1, m_data.at(m_position++));
}

bool ImapStreamParser::atCommandEnd()
{
    waitOrThrow(exhausted());
    const qsizetype saved = m_position;
    skipSpacesWaiting();
    const char c = m_data.at(m_position);
    if (c != '\r' && c != '\n') {
        m_position = saved;
        return false;
    }
    if (m_data.at(m_position) == '\r') {
        ++m_position;
        // The LF of a CR LF sent in two pieces belongs to this line, not to the next command.
        if (exhausted())
            waitForMoreData(true);
    }
    if (m_position < m_data.size() && m_data.at(m_position) == '\n')
        ++m_position;
    compact();
    return true;
}

void ImapStreamParser::skipCurrentCommand()
{
    if (m_broken)
        return;
    // A literal already announced to the client is on its way: its bytes are data, not commands.
    while (m_literalSize > 0)
        readLiteralPart();
    for (;;) {
        while (m_position < m_data.size()) {
            const char c = m_data.at(m_position++);
            if (c == '\r' || c == '\n') {
                compact();
                return;
            }
        }
        // What is skipped is dropped as it goes, so skipping holds no more than one read.
        compact();
        waitOrThrow(true);
    }
}

QByteArray ImapStreamParser::readUntilCommandEnd()
{
    QByteArray result;
    bool inQuotes = false;
    for (;;) {
        waitOrThrow(exhausted());
        const char c = m_data.at(m_position);
        if (c == '\r' || c == '\n') {
            result.append(c);
            ++m_position;
            break;
        }
        if (c == '"' && !result.endsWith('\\'))
            inQuotes = !inQuotes;
        if (c == '{' && !inQuotes) {
            const qsizetype headerStart = m_position;
            // Held whole with the rest of the line, so it counts as the command's text.
            if (readLiteralHeader(m_limits.maxCommandText - result.size())) {
                result.append(m_data.constData() + headerStart, m_position - headerStart);
                result.append(readWholeLiteral());
                continue;
            }
        }
        if (result.size() >= m_limits.maxCommandText) {
            m_broken = true;
            throw ImapParserException("Command text is longer than the limit of "
                                      + QByteArray::number(m_limits.maxCommandText) + " bytes");
        }
        result.append(c);
        ++m_position;
    }
    compact();
    return result;
}

QByteArray ImapStreamParser::readRemainingData(qsizetype max) const
{
    return m_data.mid(m_position, max);
}

void ImapStreamParser::insertData(const QByteArray &data)
{
    m_data.insert(m_position, data);
}

void ImapStreamParser::appendData(const QByteArray &data)
{
    m_data.append(data);
}

#ifndef TALVORI_IMAPPARSER_H
#define TALVORI_IMAPPARSER_H

#include <QByteArray>
#include <QList>
#include <QString>

// Token helpers over a complete buffer (responses, stored attribute values, parts of a command
// that were read as a whole). Each takes the buffer, a result and a start index, and returns the
// index just past what it consumed. None of them reads outside the buffer, whatever it holds.
class ImapParser
{
public:
    // A quoted string, a literal ("{n}" CR LF and n bytes) or an atom. The atom NIL is the empty
    // string. A literal longer than the buffer yields what the buffer holds.
    static int parseString(const QByteArray &data, QByteArray &result, int start = 0);
    static int parseString(const QByteArray &data, QString &result, int start = 0);

    // A run of decimal digits. Without digits the result is 0, ok is false and start is returned.
    static int parseNumber(const QByteArray &data, qint64 &result, bool *ok = nullptr, int start = 0);

    // The elements of a parenthesized list as raw byte strings; a nested list stays whole, with
    // its parentheses. Without an opening parenthesis the result is empty and start is returned.
    static int parseParenthesizedList(const QByteArray &data, QList<QByteArray> &result, int start = 0);

    // The quoted form that parseString() and the stream parser read back as the same bytes.
    static QByteArray quote(const QByteArray &data);
    static QByteArray join(const QList<QByteArray> &list, const QByteArray &separator);

    // "PLD:RFC822[2]" -> ("PLD:RFC822", 2); a key without the bracketed suffix has version 0.
    static void splitVersionedKey(const QByteArray &data, QByteArray &key, int &version);

private:
    static int skipSpaces(const QByteArray &data, int pos);
};

#endif

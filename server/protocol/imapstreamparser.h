#ifndef TALVORI_IMAPSTREAMPARSER_H
#define TALVORI_IMAPSTREAMPARSER_H

#include <imapset.h>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// Reads a client's command stream token by token straight from its device, blocking the calling
// thread while it waits for bytes (at most 30 s per wait). A literal header is answered at once
// with a continuation line, and a literal's content is handed out in chunks (of at most 4096
// bytes unless the reader asks for larger ones), so a streamed payload never has to sit whole in
// the buffer.
//
// What a client can make the parser hold is bounded (Limits): a literal larger than its limit is
// refused before it is asked for, so its bytes never come; a command whose text outside literals
// grows past its limit, and lists too long or nested too deep, fail as they are read.
// Every failure is thrown as ImapParserException.
class ImapStreamParser
{
public:
    struct Limits {
        // A literal's size, streamed or read whole.
        qint64 maxLiteralSize = qint64(4) << 30;
        // A command's text outside streamed literals; a literal read whole counts as text.
        qint64 maxCommandText = 4 << 20;
        // Elements of one parenthesized list, and lists within lists.
        qint64 maxListElements = 100000;
        int maxListDepth = 64;
    };

    // Writes one line (without its line end) to the client and makes sure it has gone out.
    using LineWriter = std::function<void(const QByteArray &line)>;

    explicit ImapStreamParser(QIODevice *device);

    // The continuation lines that answer literal headers go out through the connection's own
    // writer, so one writer orders everything the client receives. Without one nothing is sent.
    void setContinuationWriter(LineWriter writer) { m_continuationWriter = std::move(writer); }

    void stripLeadingSpaces();

    bool hasString();
    bool hasLiteral();
    bool atLiteralEnd() const { return m_literalSize == 0; }
    qint64 remainingLiteralSize() const { return m_literalSize; }
    QByteArray readLiteralPart();
    // The same in pieces of up to maxSize bytes, for a consumer that passes a literal on as it
    // arrives: a larger piece costs less per byte, and a piece that is the whole buffer is handed
    // over without a copy.
    QByteArray readLiteralPart(qint64 maxSize);
    static constexpr qint64 StreamingChunkSize = 256 * 1024;
    QByteArray readString();
    QString readUtf8String();
    QByteArray peekString();

    qint64 readNumber(bool *ok = nullptr);

    bool hasSequenceSet();
    ImapSet readSequenceSet();

    bool hasList();
    void beginList();
    // True, and past it, at the ')' of the list being read; false before an element. Throws when
    // the line ends inside the list, or when asked again although the element was not read.
    bool atListEnd();
    QList<QByteArray> readParenthesizedList();

    bool hasDateTime();
    QDateTime readDateTime();

    QByteArray readChar();

    bool atCommandEnd();
    // Also consumes what is left of a literal whose header has been read.
    void skipCurrentCommand();
    QByteArray readUntilCommandEnd();

    // What is buffered and not read yet; at most max bytes of it when max is not negative.
    QByteArray readRemainingData(qsizetype max = -1) const;
    void setData(const QByteArray &data) { m_data = data; }
    void insertData(const QByteArray &data);
    void appendData(const QByteArray &data);

    // How long one wait for more bytes may take; 30 s unless a caller needs otherwise.
    void setWaitTimeout(int milliseconds) { m_waitTimeout = milliseconds; }

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }
    // After a command outgrew its text limit the rest of the stream cannot be told apart from it:
    // nothing more is read, and the connection has to close once it has answered.
    bool isBroken() const { return m_broken; }

private:
    // Reads more bytes from the device when needed is true; false when none came in time.
    bool waitForMoreData(bool needed);
    // As above, but a failed wait throws "Unable to read more data".
    void waitOrThrow(bool needed);
    bool exhausted() const { return m_position >= m_data.size(); }
    // Skips spaces, waiting until a non-space byte is buffered.
    void skipSpacesWaiting();
    void compact();
    QByteArray parseQuotedString();
    void sendContinuationResponse(qint64 size);
    // Reads a literal header of at most maxSize bytes and asks for its content; false when the
    // next token is no literal.
    bool readLiteralHeader(qint64 maxSize);
    // A literal read whole into memory.
    QByteArray readWholeLiteral();

    QIODevice *m_device;
    QByteArray m_data;
    qsizetype m_position = 0;
    // Bytes dropped from the front of m_data so far: m_consumed + m_position is a place in the
    // stream that does not move when the buffer is compacted.
    qint64 m_consumed = 0;
    // Where atListEnd() last found an element to be read.
    qint64 m_listElementAt = -1;
    qint64 m_literalSize = 0;
    bool m_peeking = false;
    LineWriter m_continuationWriter;
    int m_waitTimeout = 30000;
    Limits m_limits;
    bool m_broken = false;
};

#endif

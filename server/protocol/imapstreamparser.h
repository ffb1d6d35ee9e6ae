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
// with a continuation line, and a literal's content is handed out in chunks of at most 4096
// bytes, so a streamed payload never has to sit whole in the buffer.
// Every failure is thrown as ImapParserException.
class ImapStreamParser
{
public:
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
    QByteArray readString();
    QString readUtf8String();
    QByteArray peekString();

    qint64 readNumber(bool *ok = nullptr);

    bool hasSequenceSet();
    ImapSet readSequenceSet();

    bool hasList();
    void beginList();
    bool atListEnd();
    QList<QByteArray> readParenthesizedList();

    bool hasDateTime();
    QDateTime readDateTime();

    QByteArray readChar();

    bool atCommandEnd();
    // Also consumes what is left of a literal whose header has been read.
    void skipCurrentCommand();
    QByteArray readUntilCommandEnd();

    QByteArray readRemainingData() const;
    void setData(const QByteArray &data) { m_data = data; }
    void insertData(const QByteArray &data);
    void appendData(const QByteArray &data);

    // How long one wait for more bytes may take; 30 s unless a caller needs otherwise.
    void setWaitTimeout(int milliseconds) { m_waitTimeout = milliseconds; }

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

    QIODevice *m_device;
    QByteArray m_data;
    int m_position = 0;
    qint64 m_literalSize = 0;
    bool m_peeking = false;
    LineWriter m_continuationWriter;
    int m_waitTimeout = 30000;
};

#endif

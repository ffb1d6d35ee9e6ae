#ifndef TALVORI_PROTOCOLCLIENT_H
#define TALVORI_PROTOCOLCLIENT_H

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QLocalSocket>
#include <QString>

// A blocking client of the server's protocol over its local socket. Response lines are returned
// without their CR LF; a literal inside a response line ("{n}" CR LF and n bytes) is kept in the
// line as it arrived, so callers see exactly what the server sent.
class ProtocolClient
{
public:
    ProtocolClient();

    // The socket the running server announced in its connection settings file ("Talvori" when it
    // says none).
    static QString serverSocketName();

    bool connectToServer(const QString &name, int timeoutMs = 5000);
    void disconnectFromServer();
    QLocalSocket *socket() { return &m_socket; }
    QString errorString() const { return m_socket.errorString(); }

    // Writes bytes as they are.
    void send(const QByteArray &bytes);
    // One logical response line; empty with ok false when none arrives in time.
    QByteArray readLine(bool *ok = nullptr, int timeoutMs = 30000);
    // Lines up to and including the tagged result line of tag.
    QList<QByteArray> readUntilTagged(const QByteArray &tag, int timeoutMs = 30000);

    // Sends "tag command" and reads the answer up to the tagged line.
    QList<QByteArray> command(const QByteArray &tag, const QByteArray &command);
    // Sends "tag prefix{n}", waits for the continuation line, streams the literal from source
    // (n bytes) and ends the command with suffix and CR LF. Returns the answer up to the tagged
    // line, or the line that came instead of the continuation.
    QList<QByteArray> commandWithLiteral(const QByteArray &tag, const QByteArray &prefix, QIODevice *source, qint64 size,
                                         const QByteArray &suffix = QByteArray());
    QList<QByteArray> commandWithLiteral(const QByteArray &tag, const QByteArray &prefix, const QByteArray &literal,
                                         const QByteArray &suffix = QByteArray());

    // The tagged line's result word ("OK", "NO", "BAD") of a response list, or empty.
    static QByteArray resultOf(const QList<QByteArray> &lines, const QByteArray &tag);

private:
    bool fill(int timeoutMs);
    QByteArray takeRawLine(bool *ok, int timeoutMs);

    QLocalSocket m_socket;
    QByteArray m_buffer;
};

#endif

#ifndef TALVORI_RESPONSEREADER_H
#define TALVORI_RESPONSEREADER_H

#include <QByteArray>
#include <QByteArrayView>

class QLocalSocket;

// Reads response lines straight off the socket into one growing buffer and hands each logical line
// (literals included, as the server sent them) out as a view into that buffer, uncopied. A FETCH of
// thousands of payloads is read at the speed of the server rather than of line-by-line buffer
// shuffling, so a benchmark's own client does not weigh on the figure (TestClient::runStreaming).
//
// Use it only between commands: it must start and end with nothing else buffered for the socket.
class ResponseReader
{
public:
    explicit ResponseReader(QLocalSocket *socket);

    // One logical line without its final CR LF, valid until the next call; false when none
    // arrives within timeoutMs.
    bool readLine(QByteArrayView *line, int timeoutMs);
    // Bytes read off the socket but not handed out yet.
    qsizetype buffered() const { return m_buffer.size() - m_position; }

private:
    bool fill(int timeoutMs);
    // End of the logical line starting at m_position (the index of its final CR), or -1 when
    // more bytes are needed.
    qsizetype logicalLineEnd() const;

    QLocalSocket *m_socket;
    QByteArray m_buffer;
    qsizetype m_position = 0;
};

#endif

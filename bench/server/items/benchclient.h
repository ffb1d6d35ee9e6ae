#ifndef TALVORI_BENCH_BENCHCLIENT_H
#define TALVORI_BENCH_BENCHCLIENT_H

#include "protocolclient.h"
#include "responsereader.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// The benchmark's side of one connection: the protocol client plus the few commands the item
// benchmark sends, each returning what it needs and keeping the server's answer when it fails.
class BenchClient
{
public:
    bool open(const QString &socketPath, const QByteArray &session);
    void close();

    // CREATE below the root; the new collection's identifier, or -1.
    qint64 createCollection(const QByteArray &name);
    // X-TVAPPEND of one "PLD:RFC822" part; the new item's identifier, or -1.
    qint64 appendPart(qint64 collection, const QByteArray &payload);
    // APPEND of size bytes streamed from source as one literal; the new item's identifier, or -1.
    qint64 appendStream(qint64 collection, QIODevice *source, qint64 size);
    // STORE of size bytes from source as the item's "PLD:RFC822" part.
    bool storePartStream(qint64 item, QIODevice *source, qint64 size);

    // Sends a command and reads up to its final tagged line; the untagged lines are handed to
    // lineHandler as they arrive instead of being kept. True when the answer is OK. The answer is
    // read with the leaner ResponseReader, for the long FETCH answers that are being timed.
    template<typename Handler>
    bool runStreaming(const QByteArray &command, Handler lineHandler);
    bool run(const QByteArray &command, QList<QByteArray> *lines = nullptr);

    // The last answer that was not OK, for error messages.
    QByteArray lastFailure() const { return m_lastFailure; }

private:
    QByteArray nextTag();
    // Reads on until the final tagged line: the append commands answer with a tagged line without
    // a status word before it.
    bool finish(const QByteArray &tag, QList<QByteArray> lines, QList<QByteArray> *all = nullptr);
    static qint64 uidNext(const QList<QByteArray> &lines);

    ProtocolClient m_client;
    int m_tag = 0;
    QByteArray m_lastFailure;
};

template<typename Handler>
bool BenchClient::runStreaming(const QByteArray &command, Handler lineHandler)
{
    const QByteArray tag = nextTag();
    m_client.send(tag + ' ' + command + "\r\n");
    const QByteArray prefix = tag + ' ';
    ResponseReader reader(m_client.socket());
    QByteArrayView line;
    for (;;) {
        if (!reader.readLine(&line, 300000)) {
            m_lastFailure = command.left(60) + ": no answer";
            return false;
        }
        if (line.startsWith(prefix)) {
            if (reader.buffered() > 0) {
                m_lastFailure = command.left(60) + ": more after the tagged line";
                return false;
            }
            if (line.sliced(prefix.size()).startsWith("OK"))
                return true;
            m_lastFailure = command.left(60) + ": " + line.toByteArray();
            return false;
        }
        lineHandler(line);
    }
}

#endif

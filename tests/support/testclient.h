#ifndef TALVORI_TESTCLIENT_H
#define TALVORI_TESTCLIENT_H

#include "responsereader.h"

#include <listingline.h>
#include <protocolclient.h>

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// The protocol client of the tests and benchmarks: the blocking ProtocolClient with tags of its own
// ("t1", "t2", ...) and the commands they send again and again. A command helper that does not get
// the answer it expects returns -1, false or nothing and keeps the command and the answer in
// lastFailure(), which it also prints as a warning.
//
//     TestClient client;
//     QVERIFY(server.login(client, "res1"));         // TestServer: connect, greeting, LOGIN
//     const qint64 id = client.create("\"Top\" 0 (MIMETYPE (inode/directory))");
//     QCOMPARE(client.tagged("DELETE " + QByteArray::number(id)), QByteArray("OK DELETE completed"));
class TestClient : public ProtocolClient
{
public:
    // The exact greeting every connection starts with.
    static QByteArray greeting() { return QByteArrayLiteral("* OK Talvori Almost IMAP Server [PROTOCOL 26]"); }

    // Connects and reads the greeting.
    bool open(const QString &socketPath);
    // LOGIN as session; true when the server answers "OK User logged in".
    bool login(const QByteArray &session);
    // LOGOUT, then disconnects.
    void logout();

    // How long a command helper waits for the next line of an answer (30 s unless set).
    void setTimeout(int timeoutMs) { m_timeoutMs = timeoutMs; }
    QByteArray nextTag();

    // Sends the command with the next tag; the answer up to and including its tagged line.
    QList<QByteArray> run(const QByteArray &command);
    // The tagged line of the answer without its tag ("OK ...", "NO ..."); empty when none came.
    QByteArray tagged(const QByteArray &command);
    // run(), true when the answer is OK; *answer receives it either way.
    bool runOk(const QByteArray &command, QList<QByteArray> *answer = nullptr);
    // Sends the command and hands each untagged line of the answer to lineHandler as it arrives,
    // as a view that is valid during the call only; true when the answer is OK. Reads with
    // ResponseReader, for answers too long to keep, such as a FETCH of thousands of payloads.
    template<typename Handler>
    bool runStreaming(const QByteArray &command, Handler lineHandler);
    // Sends "tag prefix{n}", then, when the server asks for it, the literal and suffix; the answer
    // up to the final tagged line, without the server's request for the literal. A command that
    // fails before the literal is wanted answers with its tagged line alone.
    QList<QByteArray> runLiteral(const QByteArray &tag, const QByteArray &prefix, const QByteArray &literal,
                                 const QByteArray &suffix = QByteArray());
    // The same with size bytes streamed from source.
    QList<QByteArray> runLiteral(const QByteArray &tag, const QByteArray &prefix, QIODevice *source, qint64 size,
                                 const QByteArray &suffix = QByteArray());

    // CREATE with the arguments (name, parent and attribute list); the new collection's id, or -1.
    qint64 create(const QByteArray &arguments);
    // A listing command (LIST, LSUB, X-TVLIST, with scope words); its lines parsed.
    QList<ListingLine> list(const QByteArray &command);
    // The items of a collection, or those a search collection links: their ids in ascending order
    // (SELECT it, FETCH 1:* (UID), SELECT 0 again); empty when it cannot be selected.
    QList<qint64> collectionItems(qint64 collection);
    // The ids of the item lines of an answer ("* 7 FETCH (...)", "* 7 SEARCH (...)"), in their order.
    static QList<qint64> itemIds(const QList<QByteArray> &answer);
    // X-TVAPPEND of data into collection, cut into parts by partList ("(PLD:RFC822 :5)"), with the
    // flag list flags; the new item's id, or -1. The answer must be the item's UIDNEXT line and
    // "OK Append completed" and nothing else.
    qint64 tvAppend(qint64 collection, const QByteArray &partList, const QByteArray &data,
                    const QByteArray &flags = QByteArrayLiteral("()"));
    // APPEND of size bytes streamed from source as one literal; the new item's id, or -1.
    qint64 appendStream(qint64 collection, QIODevice *source, qint64 size);
    // UID STORE of size bytes streamed from source as the item's "PLD:RFC822" part.
    bool storePartStream(qint64 item, QIODevice *source, qint64 size);

    // The last command that did not get the answer its helper expects, with that answer.
    QByteArray lastFailure() const { return m_lastFailure; }

private:
    QList<QByteArray> runTagged(const QByteArray &tag, const QByteArray &command);
    // Reads on after a literal until the final tagged line (a long upload may take longer to answer
    // than ProtocolClient waits) and drops the server's request for the literal.
    QList<QByteArray> finish(const QByteArray &tag, QList<QByteArray> lines);
    bool isFinal(const QByteArray &tag, const QList<QByteArray> &lines) const;
    static qint64 uidNext(const QList<QByteArray> &lines);
    void fail(const QByteArray &command, const QByteArray &answer);

    int m_tag = 0;
    int m_timeoutMs = 30000;
    QByteArray m_lastFailure;
};

template<typename Handler>
bool TestClient::runStreaming(const QByteArray &command, Handler lineHandler)
{
    const QByteArray tag = nextTag();
    send(tag + ' ' + command + "\r\n");
    const QByteArray prefix = tag + ' ';
    ResponseReader reader(socket());
    QByteArrayView line;
    for (;;) {
        if (!reader.readLine(&line, m_timeoutMs)) {
            fail(command, "no answer");
            return false;
        }
        if (line.startsWith(prefix)) {
            if (reader.buffered() > 0) {
                fail(command, "more after the tagged line");
                return false;
            }
            if (line.sliced(prefix.size()).startsWith("OK"))
                return true;
            fail(command, line.toByteArray());
            return false;
        }
        lineHandler(line);
    }
}

#endif

#ifndef TALVORI_AGENTCONNECTION_H
#define TALVORI_AGENTCONNECTION_H

#include <protocolclient.h>

#include <QByteArray>
#include <QList>
#include <QString>

// The agent's own client connection to the server: found through the connection settings the
// server publishes, logged in under the agent's identifier. Every call blocks until the server has
// answered (or a few seconds have passed); a connection that failed is closed, and open() makes a
// new one.
class AgentConnection
{
public:
    enum class Result {
        Done,
        Missing, // the item is gone (deleted before the agent looked at it)
        Failed,  // no answer, or not the answer expected: the connection is closed
    };

    explicit AgentConnection(const QString &session);

    // Connects and logs in; false while the server is not there (or not ready yet).
    bool open();
    bool isOpen() const { return m_open; }
    void close();

    // The item's full payload (its "PLD:RFC822" part), in *message.
    Result fetchMessage(qint64 item, QByteArray *message);
    // Adds the flags to the item, without answer lines for it.
    Result addFlags(qint64 item, const QList<QByteArray> &flags);

private:
    // The untagged lines of the answer; Failed unless it ended in OK, Missing for "No items found".
    Result run(const QByteArray &command, QList<QByteArray> *lines = nullptr);
    Result fail();

    const QByteArray m_session;
    ProtocolClient m_client;
    int m_tag = 0;
    bool m_open = false;
};

#endif

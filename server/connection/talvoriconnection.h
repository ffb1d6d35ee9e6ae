#ifndef TALVORI_TALVORICONNECTION_H
#define TALVORI_TALVORICONNECTION_H

#include "handler/handler.h"
#include "protocol/imapstreamparser.h"
#include "storage/session.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QThread>

class QLocalSocket;
class QTimer;

// One client session on its own thread. The thread owns the client's socket and stream parser,
// reads tagged commands, runs one handler per command and writes the responses back; handlers see
// it as the Session they run in.
class TalvoriConnection : public QThread, public Session
{
    Q_OBJECT
public:
    TalvoriConnection(quintptr socketDescriptor, QObject *parent = nullptr);
    ~TalvoriConnection() override;

    // Also names the connection in traces from now on.
    void setSessionId(const QByteArray &id) override;
    QString identifier() const { return m_identifier; }
    ConnectionState connectionState() const { return m_connectionState; }

    // Queued untagged lines, written in order by flushStatusMessageQueue().
    void addStatusMessage(const QByteArray &msg);
    void flushStatusMessageQueue();

    // The handler of the command word in the current state; unknown commands get one too.
    Handler *findHandlerForCommand(const QByteArray &command);

    // What a logged-in client may send at most; set before the thread starts. Until LOGIN the
    // much smaller loginLimits() apply: a session id needs no megabytes.
    void setParserLimits(const ImapStreamParser::Limits &limits) { m_limits = limits; }
    static ImapStreamParser::Limits loginLimits();
    // How long a transaction the client opened with BEGIN may wait for its next command before it
    // is rolled back, so that one client cannot hold the write lock for ever; set before start.
    void setIdleTransactionTimeout(int milliseconds) { m_idleTransactionTimeout = milliseconds; }

    // For the server's shut-down, from its thread: shuts the client's socket down under a
    // connection that does not end by itself because it waits for its client (bytes of a command
    // that do not come, room for an answer the client does not read). Both waits end at once.
    void shutDownSocket();

protected:
    void run() override;

private Q_SLOTS:
    void slotNewData();
    void slotResponseAvailable(const Response &response);
    void slotConnectionStateChange(ConnectionState state);
    void slotDisconnected();
    void slotIdleTransactionTimeout();

private:
    // The one writer of everything the client receives: answers, continuation lines, the greeting.
    void writeOut(const QByteArray &data);
    // Hands buffered output to the socket until at most limit bytes are left.
    void flushOutput(qint64 limit);
    void handleCommand();
    // After each command: the idle clock runs while the client's transaction stays open.
    void watchIdleTransaction();
    // Answers a command that failed with the tagged NO line and skips what is left of it.
    void failCommand(const QByteArray &message);

    // Everything below belongs to the connection's thread once run() has started.
    quintptr m_socketDescriptor;
    QLocalSocket *m_socket = nullptr;
    QPointer<Handler> m_currentHandler;
    // While the greeting is written: commands that arrive meanwhile wait until it is out.
    bool m_greeting = false;
    ConnectionState m_connectionState = NonAuthenticated;
    QList<QByteArray> m_statusMessageQueue;
    QString m_identifier;
    ImapStreamParser *m_streamParser = nullptr;
    ImapStreamParser::Limits m_limits;
    int m_idleTransactionTimeout = 60000;
    QTimer *m_idleTransactionTimer = nullptr;
    // Guards m_socketOpen: the descriptor may be shut down from another thread only while the
    // socket exists, since the number goes to another file once it is closed.
    QMutex m_socketMutex;
    bool m_socketOpen = false;
};

#endif

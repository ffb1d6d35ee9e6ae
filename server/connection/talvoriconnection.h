#ifndef TALVORI_TALVORICONNECTION_H
#define TALVORI_TALVORICONNECTION_H

#include "handler/handler.h"
#include "protocol/imapstreamparser.h"
#include "storage/session.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QThread>

class QLocalSocket;

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

protected:
    void run() override;

private Q_SLOTS:
    void slotNewData();
    void slotResponseAvailable(const Response &response);
    void slotConnectionStateChange(ConnectionState state);
    void slotDisconnected();

private:
    // The one writer of everything the client receives: answers, continuation lines, the greeting.
    void writeOut(const QByteArray &data);
    // Hands buffered output to the socket until at most limit bytes are left.
    void flushOutput(qint64 limit);
    void handleCommand();
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
};

#endif

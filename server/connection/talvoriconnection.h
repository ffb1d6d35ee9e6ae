#ifndef TALVORI_TALVORICONNECTION_H
#define TALVORI_TALVORICONNECTION_H

#include "handler/handler.h"
#include "storage/entities.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QThread>

class DataStore;
class ImapStreamParser;
class QLocalSocket;

// One client session on its own thread. The thread owns the client's socket and stream parser,
// reads tagged commands, runs one handler per command and writes the responses back. Per-session
// state that handlers consult lives here.
class TalvoriConnection : public QThread
{
    Q_OBJECT
public:
    TalvoriConnection(quintptr socketDescriptor, QObject *parent = nullptr);
    ~TalvoriConnection() override;

    void setSessionId(const QByteArray &id);
    QByteArray sessionId() const { return m_sessionId; }
    QString identifier() const { return m_identifier; }
    ConnectionState connectionState() const { return m_connectionState; }

    // The data store of the connection's thread, fetched once.
    virtual DataStore *storageBackend();

    qint64 selectedCollectionId() const { return m_selectedCollection; }
    void setSelectedCollection(qint64 id) { m_selectedCollection = id; }
    // The record of the selected collection; invalid while none (id 0 or less) is selected.
    Talvori::Collection selectedCollection() const;

    // The resource a resource process acts for after RESSELECT; invalid when none is selected.
    Talvori::Resource resourceContext() const { return m_resourceContext; }
    void setResourceContext(const Talvori::Resource &resource) { m_resourceContext = resource; }

    // Whether the client is the resource that owns the data: always with a resource context,
    // otherwise when the session id is the owning resource's name.
    bool isOwnerResource(const Talvori::PimItem &item) const;
    bool isOwnerResource(const Talvori::Collection &collection) const;

    // Queued untagged lines, written in order by flushStatusMessageQueue().
    void addStatusMessage(const QByteArray &msg);
    void flushStatusMessageQueue();

    Handler *findHandlerForCommand(const QByteArray &command);

protected:
    void run() override;

private Q_SLOTS:
    void slotNewData();
    void slotResponseAvailable(const Response &response);
    void slotConnectionStateChange(ConnectionState state);
    void slotDisconnected();

private:
    void writeOut(const QByteArray &data);
    // Hands buffered output to the socket until at most limit bytes are left.
    void flushOutput(qint64 limit);
    void handleCommand();

    // Everything below belongs to the connection's thread once run() has started.
    quintptr m_socketDescriptor;
    QLocalSocket *m_socket = nullptr;
    QPointer<Handler> m_currentHandler;
    // While the greeting is written: commands that arrive meanwhile wait until it is out.
    bool m_greeting = false;
    ConnectionState m_connectionState = NonAuthenticated;
    qint64 m_selectedCollection = 0;
    QList<QByteArray> m_statusMessageQueue;
    QString m_identifier;
    QByteArray m_sessionId;
    ImapStreamParser *m_streamParser = nullptr;
    DataStore *m_backend = nullptr;
    Talvori::Resource m_resourceContext;
};

#endif

#ifndef TALVORI_TALVORISERVER_H
#define TALVORI_TALVORISERVER_H

#include "connection/serversocket.h"
#include "protocol/imapstreamparser.h"

#include <QList>
#include <QLocalServer>
#include <QPointer>

class CacheCleaner;
class IntervalCheck;
class ItemRetrievalThread;
class QSettings;
class SearchManager;
class TalvoriConnection;

// The process-wide server. It brings up the database, listens on the named pipe, publishes the
// connection settings clients read, starts the services and bus objects, runs one
// TalvoriConnection thread per client, and shuts everything down in a fixed order on quit() or
// when its control process leaves the bus.
class TalvoriServer : public QLocalServer
{
    Q_OBJECT
public:
    static TalvoriServer *instance();

public Q_SLOTS:
    // Shuts down once; the event loop ends after the caller (a bus call, say) has returned.
    void quit();

private Q_SLOTS:
    void doQuit();
    void serviceOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

protected:
    void incomingConnection(quintptr socketDescriptor) override;

private:
    explicit TalvoriServer(QObject *parent = nullptr);
    bool listenOnPipe(const QString &path);
    static void restrictDataDirectory();
    // Removes payload files a crash left without a row and reports rows without their file.
    static void checkPayloadFiles();
    // Writes the connection settings out and keeps the file owner-only.
    static void syncPrivately(QSettings &settings);
    // The "Connection" bounds: parser limits, idle client transactions, lock waits.
    void readParserLimits(const QSettings &settings);
    void startSearchManager(const QSettings &settings);
    void startDatabaseProcess();
    void createDatabase();
    void stopDatabaseProcess();
    // Ends every connection thread within a few seconds, whatever its client does.
    void stopConnections();

    // Main thread only.
    ItemRetrievalThread *m_itemRetrieval = nullptr;
    QList<QPointer<TalvoriConnection>> m_connections;
    CacheCleaner *m_cacheCleaner = nullptr;
    IntervalCheck *m_intervalCheck = nullptr;
    SearchManager *m_searchManager = nullptr;
    // From the "Connection" group: what a logged-in client may send at most.
    ImapStreamParser::Limits m_parserLimits;
    // "Connection/IdleTransactionTimeout": how long a client's BEGIN may wait for its next command.
    int m_idleTransactionTimeout = 60000;
    bool m_alreadyShutdown = false;
    ServerSocket m_socket;
};

#endif

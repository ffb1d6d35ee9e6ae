#ifndef TALVORI_TALVORISERVER_H
#define TALVORI_TALVORISERVER_H

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
    bool listenOnPipe(const QString &name);
    void readParserLimits(const QSettings &settings);
    void startSearchManager(const QSettings &settings);
    void startDatabaseProcess();
    void createDatabase();
    void stopDatabaseProcess();

    // Main thread only.
    ItemRetrievalThread *m_itemRetrieval = nullptr;
    QList<QPointer<TalvoriConnection>> m_connections;
    CacheCleaner *m_cacheCleaner = nullptr;
    IntervalCheck *m_intervalCheck = nullptr;
    SearchManager *m_searchManager = nullptr;
    // From the "Connection" group: what a logged-in client may send at most.
    ImapStreamParser::Limits m_parserLimits;
    bool m_alreadyShutdown = false;
};

#endif

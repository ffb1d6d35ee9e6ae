#ifndef TALVORI_QUERYSERVICECLIENT_H
#define TALVORI_QUERYSERVICECLIENT_H

#include "search/sorvaniresult.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

class OrgDaxSorvaniQueryInterface;
class OrgDaxSorvaniQueryServiceInterface;
class QDBusPendingCallWatcher;
class QEventLoop;

namespace Sorvani::Search {

// One query at the semantic query service: opens it, starts its listing and relays what the
// service reports while the query stays open. Every call to the service is asynchronous; the
// answers arrive through the event loop of the thread that made the client, on that thread's own
// bus connection ("SorvaniQueryServiceConnection<n>", released when the thread ends).
class QueryServiceClient : public QObject
{
    Q_OBJECT
public:
    explicit QueryServiceClient(QObject *parent = nullptr);
    ~QueryServiceClient() override;

    // Whether the query service is on the session bus.
    static bool serviceAvailable();

public Q_SLOTS:
    // Closes any open query, then asks the service for the new one; its results follow as
    // signals. False (nothing sent) when the service cannot be reached; a refusal comes later as
    // queryFailed().
    bool query(const QString &query);
    // query(), then waits until the first listing is complete, the query failed or was closed,
    // or timeoutMs passed, whichever comes first; what arrived meanwhile has been emitted. False
    // when the query could not be opened.
    bool blockingQuery(const QString &query, int timeoutMs);
    // Ends the query at the service without waiting for it, and ends a wait.
    void close();

Q_SIGNALS:
    void newEntries(const QList<Sorvani::Search::Result> &entries);
    void entriesRemoved(const QList<QUrl> &entries);
    void finishedListing();
    void queryFailed(const QString &message);

private Q_SLOTS:
    void _k_entriesRemoved(const QStringList &entries);
    void _k_finishedListing();

private:
    void queryOpened(QDBusPendingCallWatcher *call);
    void endWait();

    QDBusConnection m_connection;
    OrgDaxSorvaniQueryServiceInterface *m_service = nullptr;
    OrgDaxSorvaniQueryInterface *m_query = nullptr;
    // The answer to the query being opened, while it is outstanding.
    QDBusPendingCallWatcher *m_opening = nullptr;
    QEventLoop *m_waitLoop = nullptr;
    bool m_failed = false;
};

} // namespace Sorvani::Search

#endif

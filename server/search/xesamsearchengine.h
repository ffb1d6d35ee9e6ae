#ifndef TALVORI_XESAMSEARCHENGINE_H
#define TALVORI_XESAMSEARCHENGINE_H

#include "search/abstractsearchengine.h"
#include "storage/entities.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class OrgFreedesktopXesamSearchInterface;
class QDBusPendingCallWatcher;

// Keeps the persistent searches of query language "XESAM" up to date from a Xesam search service:
// one live search per search collection, run on the collection's query; the items its hits name
// are linked to the collection and unlinked when the service removes the hits. The links are
// written without notifications. Lives on the main thread, and nothing here waits for the
// service: the session is set up in the background, searches asked for meanwhile start once it is
// ready, and an engine whose service is missing or refuses the session stays inert.
class XesamSearchEngine : public QObject, public AbstractSearchEngine
{
    Q_OBJECT
public:
    explicit XesamSearchEngine(QObject *parent = nullptr);
    ~XesamSearchEngine() override;

    void addSearch(const Talvori::Collection &collection) override;
    void removeSearch(qint64 collectionId) override;

private Q_SLOTS:
    void slotHitsAdded(const QString &search, int count);
    void slotHitsRemoved(const QString &search, const QList<int> &hitIds);
    void slotHitsModified(const QString &search, const QList<int> &hitIds);

private:
    enum State { Starting, Ready, Inert };
    struct Search {
        qint64 collectionId = -1;
        // The item each hit names, by hit number (the order the service handed them out in); -1
        // for a hit that names no item.
        QList<qint64> hitItems;
    };

    void sessionOpened(QDBusPendingCallWatcher *call);
    void setProperty(const QString &property, bool value);
    void propertySet(QDBusPendingCallWatcher *call, bool expected);
    void becomeReady();
    void becomeInert(const char *reason);
    void searchCreated(QDBusPendingCallWatcher *call, qint64 collectionId, int generation);
    void hitsArrived(QDBusPendingCallWatcher *call, const QString &search);

    OrgFreedesktopXesamSearchInterface *m_interface;
    State m_state = Starting;
    QString m_session;
    // Properties still to be confirmed by the service before the session is ready.
    int m_pendingProperties = 0;
    // Searches asked for before the session was ready.
    QList<Talvori::Collection> m_waiting;
    // Main thread only.
    QHash<QString, Search> m_searches;
    QHash<qint64, QString> m_handles;
    // Counts the searches asked for per collection, so that the answer to a NewSearch that was
    // overtaken by a removal (or by a newer search) is recognised and closed.
    QHash<qint64, int> m_generations;
};

#endif

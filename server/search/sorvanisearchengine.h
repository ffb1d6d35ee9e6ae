#ifndef TALVORI_SORVANISEARCHENGINE_H
#define TALVORI_SORVANISEARCHENGINE_H

#include "search/abstractsearchengine.h"
#include "search/sorvaniresult.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>

class QDBusServiceWatcher;

namespace Sorvani::Search {
class QueryServiceClient;
}

// Keeps the persistent searches of query language "SPARQL" up to date from the semantic query
// service: one open query per search collection, whose added and removed results become links of
// the collection, announced as item link and unlink notifications. Whenever the service
// (re)appears on the bus, every such search is opened again. Lives on the main thread, like all
// its query clients; nothing here waits for the service.
class SorvaniSearchEngine : public QObject, public AbstractSearchEngine
{
    Q_OBJECT
public:
    explicit SorvaniSearchEngine(QObject *parent = nullptr);
    ~SorvaniSearchEngine() override;

    void addSearch(const Talvori::Collection &collection) override;
    void removeSearch(qint64 collectionId) override;

public Q_SLOTS:
    void reloadSearches();
    void hitsAdded(const QList<Sorvani::Search::Result> &results);
    void hitsRemoved(const QList<QUrl> &uris);

private:
    // The search collection of the client that sent the signal being handled; -1 for a client
    // whose search has ended (its last signals may still be on their way) or another sender.
    qint64 senderCollection() const;

    // Main thread only, like every slot here.
    QHash<Sorvani::Search::QueryServiceClient *, qint64> m_queries;
    QHash<qint64, Sorvani::Search::QueryServiceClient *> m_collections;
    QDBusServiceWatcher *m_watcher;
};

#endif

#include "sorvanisearchengine.h"

#include "common/log.h"
#include "search/queryserviceclient.h"
#include "search/searchlinks.h"
#include "storage/entities.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>

using Sorvani::Search::QueryServiceClient;
using Sorvani::Search::Result;
using namespace Talvori;

namespace {

const QString QueryLanguage = QStringLiteral("SPARQL");

} // namespace

SorvaniSearchEngine::SorvaniSearchEngine(QObject *parent)
    : QObject(parent)
    , m_watcher(new QDBusServiceWatcher(QStringLiteral("org.dax.sorvani.services.sorvaniqueryservice"),
                                        QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration,
                                        this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &SorvaniSearchEngine::reloadSearches);
    if (QueryServiceClient::serviceAvailable())
        reloadSearches();
    else
        logDebug() << "Sorvani Query Server not available";
}

SorvaniSearchEngine::~SorvaniSearchEngine()
{
    // The clients close their queries as they go, without waiting for the service.
    const QList<qint64> searches = m_collections.keys();
    for (const qint64 id : searches) {
        logDebug() << "removing search" << id;
        removeSearch(id);
    }
}

void SorvaniSearchEngine::reloadSearches()
{
    logDebug() << "SorvaniSearchEngine::reloadSearches" << (sender() ? "on the service's registration" : "");
    const QList<Collection> collections = Collection::retrieveFiltered(Collection::queryLanguageFullColumnName(),
                                                                       QueryLanguage);
    for (const Collection &collection : collections) {
        if (m_collections.contains(collection.id())) {
            logDebug() << "updating search" << collection.name();
            removeSearch(collection.id());
        } else {
            logDebug() << "adding search" << collection.name();
        }
        addSearch(collection);
    }
}

void SorvaniSearchEngine::addSearch(const Collection &collection)
{
    if (collection.queryLanguage() != QueryLanguage)
        return;
    auto *client = new QueryServiceClient(this);
    connect(client, &QueryServiceClient::newEntries, this, &SorvaniSearchEngine::hitsAdded);
    connect(client, &QueryServiceClient::entriesRemoved, this, &SorvaniSearchEngine::hitsRemoved);
    m_queries.insert(client, collection.id());
    m_collections.insert(collection.id(), client);
    // The query stays open: the service goes on reporting results as its index changes.
    client->query(collection.queryString());
}

void SorvaniSearchEngine::removeSearch(qint64 collectionId)
{
    QueryServiceClient *client = m_collections.take(collectionId);
    if (!client) {
        qWarning() << "Sorvani QueryServer: Query could not be removed!";
        return;
    }
    client->close();
    m_queries.remove(client);
    client->deleteLater();
}

qint64 SorvaniSearchEngine::senderCollection() const
{
    auto *client = qobject_cast<QueryServiceClient *>(sender());
    const auto it = m_queries.constFind(client);
    if (!client || it == m_queries.constEnd()) {
        qWarning() << "Sorvani QueryServer: Got signal from non-existing search query!";
        return -1;
    }
    return *it;
}

void SorvaniSearchEngine::hitsAdded(const QList<Result> &results)
{
    const qint64 collectionId = senderCollection();
    if (collectionId < 0)
        return;
    QList<qint64> ids;
    ids.reserve(results.size());
    for (const Result &result : results)
        ids.append(result.itemId());
    SearchLinks::link(collectionId, ids, SearchLinks::Announce);
}

void SorvaniSearchEngine::hitsRemoved(const QList<QUrl> &uris)
{
    const qint64 collectionId = senderCollection();
    if (collectionId < 0)
        return;
    QList<qint64> ids;
    ids.reserve(uris.size());
    for (const QUrl &uri : uris)
        ids.append(Result::uriToItemId(uri));
    SearchLinks::unlink(collectionId, ids, SearchLinks::Announce);
}

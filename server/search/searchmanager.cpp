#include "searchmanager.h"

#include "common/log.h"
#include "search/aftercommit.h"
#include "search/agentsearchengine.h"
#include "search/localquery.h"
#include "search/localsearchengine.h"
#include "search/localsearchschema.h"
#include "search/sorvanisearchengine.h"
#include "search/xesamsearchengine.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/notificationcollector.h"

#include <QAtomicPointer>

using namespace Talvori;

namespace {

// Set and cleared on the main thread while no connection thread runs; read by them.
QAtomicPointer<SearchManager> s_instance;

bool isRunnable(const Collection &collection)
{
    return !collection.queryString().isEmpty() && !collection.queryLanguage().isEmpty();
}

} // namespace

SearchManager::SearchManager(const QStringList &engineWords, QObject *parent)
    : QObject(parent)
{
    m_engines.reserve(engineWords.size());
    for (const QString &word : engineWords) {
        if (word == QLatin1String("Sorvani"))
            m_engines.append(new SorvaniSearchEngine);
        else if (word == QLatin1String("Agent"))
            m_engines.append(new AgentSearchEngine);
        else if (word == QLatin1String("Xesam"))
            m_engines.append(new XesamSearchEngine);
        else if (word == QLatin1String("Local"))
            addLocalEngine();
        else
            logError().noquote() << "Unknown search engine type: " + word;
    }
    s_instance.storeRelease(this);
}

void SearchManager::addLocalEngine()
{
    // The index has one writer: a second engine on it could only fight the first.
    if (m_usesLocalIndex) {
        logError() << "Search engine type given twice, the second is skipped: Local";
        return;
    }
    m_engines.append(new LocalSearchEngine);
    m_usesLocalIndex = true;
}

SearchManager::~SearchManager()
{
    s_instance.storeRelease(nullptr);
    qDeleteAll(m_engines);
}

SearchManager *SearchManager::instance()
{
    return s_instance.loadAcquire();
}

QString SearchManager::newSearchLanguage()
{
    const SearchManager *manager = instance();
    return manager && manager->usesLocalIndex() ? LocalSearchSchema::QueryLanguage : QStringLiteral("SPARQL");
}

bool SearchManager::checkQuery(const QString &queryLanguage, const QString &query, QString *error)
{
    if (queryLanguage != LocalSearchSchema::QueryLanguage)
        return true;
    return LocalQuery().parse(query, error);
}

bool SearchManager::addSearch(const Collection &collection)
{
    if (!isRunnable(collection))
        return false;
    QMetaObject::invokeMethod(this, [this, collection] { addSearchInternal(collection); }, Qt::QueuedConnection);
    return true;
}

bool SearchManager::removeSearch(qint64 collectionId)
{
    QMetaObject::invokeMethod(this, [this, collectionId] { removeSearchInternal(collectionId); },
                              Qt::QueuedConnection);
    return true;
}

void SearchManager::addSearchInternal(const Collection &collection)
{
    for (AbstractSearchEngine *engine : std::as_const(m_engines))
        engine->addSearch(collection);
}

void SearchManager::removeSearchInternal(qint64 collectionId)
{
    for (AbstractSearchEngine *engine : std::as_const(m_engines))
        engine->removeSearch(collectionId);
}

bool SearchManager::addSearchAfterCommit(const Collection &collection, DataStore *db)
{
    if (!isRunnable(collection) || !instance())
        return false;
    AfterCommit::run(db, [collection] {
        // The manager is looked up when the work runs: it may have gone since.
        SearchManager *manager = instance();
        if (!manager || !manager->addSearch(collection))
            logError().noquote() << "Unable to add search to search manager:" << collection.id();
    });
    return true;
}

void SearchManager::updateSearch(const Collection &collection, DataStore *db)
{
    const QList<PimItem> items = collection.pimItems();
    for (const PimItem &item : items)
        db->notificationCollector()->notifyItemUnlinked(item, collection);
    collection.clearPimItems();
    AfterCommit::run(db, [collection] {
        if (SearchManager *manager = instance()) {
            manager->removeSearch(collection.id());
            manager->addSearch(collection);
        }
    });
}

void SearchManager::removeSearchAfterCommit(qint64 collectionId, DataStore *db)
{
    AfterCommit::run(db, [collectionId] {
        if (SearchManager *manager = instance())
            manager->removeSearch(collectionId);
    });
}

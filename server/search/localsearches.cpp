#include "localsearches.h"

#include "common/log.h"
#include "search/localsearchschema.h"
#include "search/searchlinks.h"
#include "search/searchresource.h"
#include "storage/entities.h"

#include <QSet>

using namespace Talvori;

void LocalSearches::add(const Collection &collection, const Xapian::Database &index)
{
    if (collection.queryLanguage() != LocalSearchSchema::QueryLanguage)
        return;
    m_searches.remove(collection.id());
    LocalQuery query;
    QString error;
    if (!query.parse(collection.queryString(), &error)) {
        logError().noquote() << QStringLiteral("Persistent search %1 has no valid query (%2): %3")
                                    .arg(collection.id())
                                    .arg(collection.queryString(), error);
        return;
    }
    m_searches.insert(collection.id(), query);
    refresh(collection.id(), query, index);
}

void LocalSearches::remove(qint64 collectionId)
{
    m_searches.remove(collectionId);
}

void LocalSearches::addAll(const Xapian::Database &index)
{
    m_searches.clear();
    const QList<Collection> searches = SearchResource::searches();
    for (const Collection &collection : searches)
        add(collection, index);
}

void LocalSearches::refreshAll(const Xapian::Database &index)
{
    for (auto it = m_searches.cbegin(); it != m_searches.cend(); ++it)
        refresh(it.key(), it.value(), index);
}

void LocalSearches::itemsChanged(const Xapian::Database &index, const QList<qint64> &itemIds)
{
    if (itemIds.isEmpty())
        return;
    for (auto it = m_searches.cbegin(); it != m_searches.cend(); ++it) {
        try {
            const QList<qint64> found = it.value().matchesAmong(index, itemIds);
            const QSet<qint64> foundSet(found.cbegin(), found.cend());
            QList<qint64> lost;
            for (const qint64 id : itemIds) {
                if (!foundSet.contains(id))
                    lost.append(id);
            }
            SearchLinks::link(it.key(), found, SearchLinks::Announce);
            SearchLinks::unlink(it.key(), lost, SearchLinks::Announce);
        } catch (const Xapian::Error &e) {
            logError().noquote() << QStringLiteral("Persistent search %1 cannot run: %2")
                                        .arg(it.key())
                                        .arg(QString::fromStdString(e.get_description()));
        }
    }
}

void LocalSearches::refresh(qint64 collectionId, const LocalQuery &query, const Xapian::Database &index)
{
    try {
        SearchLinks::replace(collectionId, query.matches(index), SearchLinks::Announce);
    } catch (const Xapian::Error &e) {
        logError().noquote() << QStringLiteral("Persistent search %1 cannot run: %2")
                                    .arg(collectionId)
                                    .arg(QString::fromStdString(e.get_description()));
    }
}

#include "search.h"

#include "fetchhelper.h"

#include "protocol/imapstreamparser.h"
#include "protocol/scope.h"
#include "search/localindex.h"
#include "search/searchmanager.h"
#include "search/sorvanisearch.h"

#include <imapset.h>

bool Search::parseStream()
{
    const QString query = QString::fromUtf8(m_streamParser->readString());
    if (query.isEmpty())
        return failureResponse("No query specified");

    QList<qint64> ids;
    const SearchManager *manager = SearchManager::instance();
    if (manager && manager->usesLocalIndex()) {
        QString error;
        if (!LocalIndex::search(query, &ids, &error))
            return failureResponse(error);
    } else {
        SorvaniSearch search;
        ids = search.search(query);
    }

    if (ids.isEmpty()) {
        // An empty id set would select every item; nothing found means no line at all.
        m_streamParser->readUntilCommandEnd();
        return successResponse("SEARCH completed");
    }

    ImapSet set;
    set.add(ids);
    Scope scope(Scope::ById);
    scope.setIdSet(set);
    FetchHelper helper(*this, scope);
    if (!helper.parseStream("SEARCH"))
        return false;
    return successResponse("SEARCH completed");
}

#include "searchpersistent.h"

#include "handlersupport.h"

#include "common/log.h"
#include "protocol/imapstreamparser.h"
#include "search/searchmanager.h"
#include "search/searchresource.h"
#include "storage/datastore.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

bool SearchPersistent::parseStream()
{
    const QString name = m_streamParser->readUtf8String();
    if (name.isEmpty())
        return failureResponse("No name specified");

    DataStore *db = m_connection->storageBackend();
    Transaction transaction(db);

    const QString query = m_streamParser->readUtf8String();
    if (query.isEmpty())
        return failureResponse("No query specified");
    const QString language = SearchManager::newSearchLanguage();
    QString error;
    if (!SearchManager::checkQuery(language, query, &error))
        return failureResponse(error);

    const Collection root = SearchResource::root();
    if (!root.isValid())
        return failureResponse("Unable to create persistent search");
    Collection collection;
    collection.setName(name);
    collection.setParentId(root.id());
    collection.setResourceId(root.resourceId());
    collection.setRemoteId(query);
    collection.setQueryString(query);
    collection.setQueryLanguage(language);
    if (!db->appendCollection(collection))
        return failureResponse("Unable to create persistent search");

    QStringList mimeTypes;
    const QList<MimeType> knownTypes = MimeType::retrieveAll();
    for (const MimeType &type : knownTypes) {
        if (type.name() != QLatin1String("inode/directory"))
            mimeTypes.append(type.name());
    }
    if (!db->appendMimeTypeForCollection(collection.id(), mimeTypes))
        return failureResponse("Unable to create persistent search");

    const QByteArray line = HandlerSupport::collectionLine(collection, false, false, 0, QStack<Collection>());

    // The search is answered as created once it is committed, whatever becomes of its hand-over:
    // an engine that never hears of it leaves it empty until the next start, which is logged.
    if (!SearchManager::addSearchAfterCommit(collection, db))
        logError().noquote() << "Unable to add search to search manager:" << collection.id();

    if (!transaction.commit())
        return failureResponse("Unable to commit transaction");
    Q_EMIT responseAvailable(HandlerSupport::untagged(line));
    return successResponse("SEARCH_STORE completed");
}

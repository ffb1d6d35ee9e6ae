#include "status.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "storage/collectionresolver.h"
#include "storage/collectionstatistics.h"
#include "storage/datastore.h"
#include "storage/session.h"

using namespace Talvori;

bool Status::parseStream()
{
    const QByteArray name = m_streamParser->readString();
    const QList<QByteArray> items = m_streamParser->readParenthesizedList();
    const Collection collection = CollectionResolver::findCollection(name);
    if (!collection.isValid())
        return failureResponse("No status for this folder");

    // Always in this order, whatever order the client asked in.
    QList<QByteArray> status;
    if (items.contains("MESSAGES")) {
        const int count = CollectionStatistics::countItems(collection);
        if (count < 0)
            return failureResponse("Could not determine message count.");
        status << "MESSAGES" << QByteArray::number(count);
    }
    if (items.contains("RECENT")) {
        const int recent = CollectionStatistics::countItemsWithFlag(collection, QStringLiteral("\\Recent"));
        if (recent < 0)
            return failureResponse("Could not determine recent item count");
        status << "RECENT" << QByteArray::number(recent);
    }
    if (items.contains("UIDNEXT"))
        status << "UIDNEXT" << QByteArray::number(m_connection->storageBackend()->uidNext());
    if (items.contains("UIDVALIDITY"))
        status << "UIDVALIDITY" << "1";
    if (items.contains("UNSEEN")) {
        const int unseen = CollectionStatistics::countItemsWithoutFlag(collection, QStringLiteral("\\SEEN"));
        if (unseen < 0)
            return failureResponse("Unable to retrieve unread count");
        status << "UNSEEN" << QByteArray::number(unseen);
    }
    if (items.contains("SIZE")) {
        const qint64 size = CollectionStatistics::totalItemSize(collection);
        if (size < 0)
            return failureResponse("Unable to retrieve collection total size");
        status << "SIZE" << QByteArray::number(size);
    }

    Q_EMIT responseAvailable(HandlerSupport::untagged("STATUS \"" + CollectionResolver::collectionPath(collection).toUtf8()
                                                      + "\" (" + status.join(' ') + ')'));
    return successResponse("STATUS completed");
}

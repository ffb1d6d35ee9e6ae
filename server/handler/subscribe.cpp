#include "subscribe.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/notificationcollector.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

Subscribe::Subscribe(bool subscribe)
    : m_subscribe(subscribe)
{
}

bool Subscribe::parseStream()
{
    DataStore *db = m_connection->storageBackend();
    Transaction transaction(db);

    while (!m_streamParser->atCommandEnd()) {
        const QByteArray name = m_streamParser->readString();
        if (name.isEmpty())
            break;
        Collection collection = CollectionResolver::findCollection(name);
        if (!collection.isValid())
            return failureResponse("Invalid collection");
        if (collection.subscribed() == m_subscribe)
            continue;
        collection.setSubscribed(m_subscribe);
        if (!collection.update())
            return failureResponse("Unable to change subscription");
        if (m_subscribe)
            db->notificationCollector()->notifyCollectionSubscribed(collection, QByteArray());
        else
            db->notificationCollector()->notifyCollectionUnsubscribed(collection, QByteArray());
    }

    if (!transaction.commit())
        return failureResponse("Cannot commit transaction.");
    return successResponse("Completed");
}

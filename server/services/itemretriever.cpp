#include "itemretriever.h"

#include "itemretrievaljob.h"
#include "itemretrievalmanager.h"
#include "itemretrievalrequest.h"
#include "common/exception.h"
#include "common/log.h"
#include "storage/datastore.h"
#include "storage/itemqueryhelper.h"
#include "storage/parthelper.h"
#include "storage/querybuilder.h"
#include "storage/session.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSqlQuery>

using namespace Talvori;

namespace {

const QString fullPayloadPart = QStringLiteral("PLD:RFC822");
const QString payloadPrefix = QStringLiteral("PLD:");

enum PartColumn { PartItemId, PartName, PartSize };
enum ItemColumn { ItemId, ItemRemoteId, ItemMimeType, ItemResource };

} // namespace

ItemRetriever::ItemRetriever(Session *connection)
    : m_connection(connection)
{
}

void ItemRetriever::setScope(const Scope &scope)
{
    m_scope = scope;
    m_items = Items::Scope;
}

void ItemRetriever::setCollection(const Collection &collection, bool recursive)
{
    m_collection = collection;
    m_recursive = recursive;
    m_itemSet = ImapSet();
    m_items = collection.isValid() ? Items::Set : Items::None;
}

void ItemRetriever::setItemSet(const ImapSet &set, const Collection &collection)
{
    m_itemSet = set;
    m_collection = collection;
    // An empty set adds no condition, so without a collection it would stand for every item.
    m_items = set.isEmpty() && !collection.isValid() ? Items::None : Items::Set;
}

void ItemRetriever::setItemSet(const ImapSet &set, bool isUid)
{
    setItemSet(set, isUid || !m_connection ? Collection() : m_connection->selectedCollection());
}

void ItemRetriever::setItem(qint64 id)
{
    ImapSet set;
    set.add(QList<qint64>{id});
    setItemSet(set);
}

void ItemRetriever::setRetrieveParts(const QStringList &parts)
{
    m_parts = parts;
    addFullPayloadPart();
}

void ItemRetriever::setRetrieveFullPayload(bool fullPayload)
{
    m_fullPayload = fullPayload;
    addFullPayloadPart();
}

void ItemRetriever::addFullPayloadPart()
{
    if (m_fullPayload && !m_parts.contains(fullPayloadPart))
        m_parts.append(fullPayloadPart);
}

DataStore *ItemRetriever::store() const
{
    return m_connection ? m_connection->storageBackend() : DataStore::self();
}

bool ItemRetriever::exec()
{
    m_lastError.clear();
    m_failedItem = -1;
    if (m_parts.isEmpty() && !m_fullPayload)
        return true;

    bool ok = m_items == Items::None || post(requestsFor(missingParts()));
    if (m_recursive && m_collection.isValid()) {
        const QList<Collection> children = m_collection.children();
        for (const Collection &child : children) {
            ItemRetriever retriever(m_connection);
            retriever.setCollection(child, true);
            retriever.setRetrieveParts(m_parts);
            retriever.setRetrieveFullPayload(m_fullPayload);
            retriever.setDestinationResource(m_destinationResource);
            if (!retriever.exec()) {
                ok = false;
                fail(retriever.failedItem(), retriever.lastError());
            }
        }
    }
    return ok;
}

void ItemRetriever::execItemQuery(QueryBuilder &qb)
{
    if (m_items == Items::Scope) {
        if (m_connection) {
            ItemQueryHelper::scopeToQuery(m_scope, *m_connection, qb);
        } else {
            const Session none;
            ItemQueryHelper::scopeToQuery(m_scope, none, qb);
        }
    } else {
        ItemQueryHelper::itemSetToQuery(m_itemSet, qb, m_collection);
    }
    if (m_destinationResource >= 0) {
        qb.addJoin(QueryBuilder::InnerJoin, Collection::tableName(), PimItem::collectionIdFullColumnName(),
                   Collection::idFullColumnName());
        qb.addValueCondition(Collection::resourceIdFullColumnName(), Query::NotEquals, m_destinationResource);
    }
    qb.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    // Read once, front to back, and nothing else runs on the connection meanwhile.
    qb.query().setForwardOnly(true);
    if (!qb.exec())
        throw ItemRetrieverException("Unable to retrieve items");
}

QMap<qint64, QStringList> ItemRetriever::missingParts()
{
    QueryBuilder qb(PimItem::tableName());
    Query::Condition partJoin;
    partJoin.addColumnCondition(PimItem::idFullColumnName(), Query::Equals, Part::pimItemIdFullColumnName());
    if (!m_fullPayload)
        partJoin.addValueCondition(Part::nameFullColumnName(), Query::In, m_parts);
    partJoin.addValueCondition(PartHelper::namePrefixExpression(), Query::Equals, payloadPrefix);
    qb.addJoin(QueryBuilder::LeftJoin, Part::tableName(), partJoin);
    // In the order of PartColumn.
    qb.addColumns({PimItem::idFullColumnName(), Part::nameFullColumnName(), Part::datasizeFullColumnName()});
    execItemQuery(qb);

    QStringList deliveryParts;
    for (const QString &part : std::as_const(m_parts)) {
        if (part.startsWith(payloadPrefix))
            deliveryParts.append(part.mid(payloadPrefix.size()));
    }

    // An item's rows come together but in no particular order; a part's name is unique within its
    // item, so a cached part leaves the item's list for good, whichever rows came before.
    QMap<qint64, QStringList> missing;
    qint64 current = -1;
    QStringList wanted;
    const auto settle = [&]() {
        if (current >= 0 && !wanted.isEmpty())
            missing.insert(current, wanted);
    };
    QSqlQuery &query = qb.query();
    while (query.next()) {
        const qint64 id = query.value(PartItemId).toLongLong();
        if (id != current) {
            settle();
            current = id;
            wanted = deliveryParts;
        }
        const QVariant name = query.value(PartName);
        if (name.isNull())
            continue;
        const QString fullName = Entity::stringFromVariant(name);
        const QStringView part = QStringView(fullName).mid(payloadPrefix.size());
        const qsizetype at = wanted.indexOf(part);
        if (query.value(PartSize).toLongLong() > 0) {
            if (at >= 0)
                wanted.removeAt(at);
        } else if (m_fullPayload && at < 0) {
            wanted.append(part.toString());
        }
    }
    settle();
    return missing;
}

QList<ItemRetrievalRequest *> ItemRetriever::requestsFor(const QMap<qint64, QStringList> &missing)
{
    QList<ItemRetrievalRequest *> requests;
    if (missing.isEmpty())
        return requests;
    // The same items again, now with what a request needs; usually all of them miss something
    // when any does, so this is no worse than naming the ones that do.
    QueryBuilder qb(PimItem::tableName());
    ItemQueryHelper::joinTypeCollectionAndResource(qb);
    // In the order of ItemColumn.
    qb.addColumns({PimItem::idFullColumnName(), PimItem::remoteIdFullColumnName(), MimeType::nameFullColumnName(),
                   Resource::nameFullColumnName()});
    // A resource asking for its own items is the one that would have to deliver them; it would
    // wait for itself.
    if (m_connection)
        qb.addValueCondition(Resource::nameFullColumnName(), Query::NotEquals,
                             QString::fromLatin1(m_connection->sessionId()));
    execItemQuery(qb);

    QSqlQuery &query = qb.query();
    while (query.next()) {
        const qint64 id = query.value(ItemId).toLongLong();
        const auto parts = missing.constFind(id);
        if (parts == missing.constEnd())
            continue;
        auto *request = new ItemRetrievalRequest;
        request->id = id;
        request->remoteId = Entity::stringFromVariant(query.value(ItemRemoteId)).toUtf8();
        request->mimeType = Entity::stringFromVariant(query.value(ItemMimeType)).toUtf8();
        request->resourceId = Entity::stringFromVariant(query.value(ItemResource));
        request->parts = *parts;
        requests.append(request);
    }
    return requests;
}

bool ItemRetriever::post(QList<ItemRetrievalRequest *> requests)
{
    if (requests.isEmpty())
        return true;
    if (store()->blocksOtherWriters()) {
        // The resource stores what it delivers through a connection of its own, which cannot write
        // before this transaction ends: waiting would only hold up every writer of the server
        // until the delivery time limit.
        logError() << "Not asking resources for" << requests.size()
                   << "items inside a transaction on SQLite: a resource could not store them before it ends;"
                      " serving what the database holds";
        fail(requests.first()->id, QStringLiteral("Unable to retrieve items inside a transaction"));
        qDeleteAll(requests);
        return false;
    }

    bool ok = true;
    // Resources that could not be reached or did not answer in time are not asked again here.
    QHash<QString, QString> failedResources;
    QHash<QString, int> skipped;
    for (ItemRetrievalRequest *request : std::as_const(requests)) {
        const QString resource = request->resourceId;
        const qint64 item = request->id;
        if (failedResources.contains(resource)) {
            ++skipped[resource];
            delete request;
            continue;
        }
        try {
            ItemRetrievalManager::postRetrievalRequest(request);
        } catch (const ItemRetrieverException &e) {
            logError().noquote() << QLatin1String(e.type()) + QLatin1String(": ") + QString::fromUtf8(e.what());
            ok = false;
            const QString message = QString::fromUtf8(e.what());
            fail(item, message);
            if (ItemRetrievalJob::concernsResource(message))
                failedResources.insert(resource, message);
        }
    }
    for (auto it = skipped.cbegin(); it != skipped.cend(); ++it) {
        logError() << "Not asking resource" << it.key() << "for" << it.value()
                   << "more items after:" << failedResources.value(it.key());
    }
    return ok;
}

void ItemRetriever::fail(qint64 item, const QString &message)
{
    if (m_lastError.isEmpty()) {
        m_lastError = message;
        m_failedItem = item;
    }
}

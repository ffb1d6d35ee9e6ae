#ifndef TALVORI_ITEMRETRIEVER_H
#define TALVORI_ITEMRETRIEVER_H

#include "protocol/scope.h"
#include "storage/entities.h"

#include <imapset.h>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class DataStore;
class QueryBuilder;
class Session;
struct ItemRetrievalRequest;

// Makes sure the requested payload parts of a command's items are in the database before the
// command reads them, by asking the owning resources for the missing ones: one query finds what
// is missing, then one request per item goes to the item retrieval manager, and exec() blocks
// until each has been answered. Used inside one command, on its connection's thread.
//
// The items are those of a scope, or of an item set within a collection, or of a collection (and,
// recursively, its children). A failed delivery is logged; commands that serve what the database
// holds (FETCH) go on regardless, while those that need the whole payload, because it is about
// to change resources, look at exec()'s result.
class ItemRetriever
{
public:
    // connection may be null for work that is not done on behalf of a client.
    explicit ItemRetriever(Session *connection = nullptr);

    void setScope(const Scope &scope);
    // All items of the collection, with recursive also those of its descendants. Clears the item
    // set; an invalid collection addresses no item.
    void setCollection(const Talvori::Collection &collection, bool recursive = false);
    // The items of the set, within the collection when it is valid.
    void setItemSet(const ImapSet &set, const Talvori::Collection &collection = Talvori::Collection());
    // The items of the set: by uid in every collection, otherwise within the connection's selected
    // collection.
    void setItemSet(const ImapSet &set, bool isUid);
    void setItem(qint64 id);
    // Only the items of other resources than this one: those a move into it takes across.
    void setDestinationResource(qint64 resourceId) { m_destinationResource = resourceId; }
    // Full part names, such as "PLD:RFC822".
    void setRetrieveParts(const QStringList &parts);
    // Every payload part the items have; this always includes "PLD:RFC822".
    void setRetrieveFullPayload(bool fullPayload);

    Session *connection() const { return m_connection; }
    QStringList retrieveParts() const { return m_parts; }
    bool retrieveFullPayload() const { return m_fullPayload; }

    // True when nothing was missing or everything missing was delivered; false when a delivery
    // failed or could not be asked for, with the reason in lastError() and the first item it
    // concerned in failedItem(). Throws ItemRetrieverException "Unable to retrieve items" when the
    // item query fails.
    bool exec();
    QString lastError() const { return m_lastError; }
    qint64 failedItem() const { return m_failedItem; }

private:
    enum class Items { None, Scope, Set };

    void addFullPayloadPart();
    DataStore *store() const;
    // The payload parts (without "PLD:") each item misses, by item id.
    QMap<qint64, QStringList> missingParts();
    // One request per item that misses parts and whose resource is not the connection's own, in
    // item id order.
    QList<ItemRetrievalRequest *> requestsFor(const QMap<qint64, QStringList> &missing);
    // Adds the conditions of the items addressed and runs the query, in item id order.
    void execItemQuery(QueryBuilder &qb);
    // Posts the requests one after another; false when any failed.
    bool post(QList<ItemRetrievalRequest *> requests);
    void fail(qint64 item, const QString &message);

    Session *m_connection;
    Items m_items = Items::None;
    Scope m_scope;
    ImapSet m_itemSet;
    Talvori::Collection m_collection;
    bool m_recursive = false;
    qint64 m_destinationResource = -1;
    QStringList m_parts;
    bool m_fullPayload = false;
    QString m_lastError;
    qint64 m_failedItem = -1;
};

#endif

#include "store.h"

#include "handlersupport.h"

#include "common/exception.h"
#include "common/log.h"
#include "protocol/imapstreamparser.h"
#include "storage/datastore.h"
#include "storage/itemqueryhelper.h"
#include "storage/notificationcollector.h"
#include "storage/parthelper.h"
#include "storage/payloadwriter.h"
#include "storage/pimitemset.h"
#include "storage/selectquerybuilder.h"
#include "storage/session.h"
#include "storage/transaction.h"

#include <imapparser.h>

using namespace Talvori;

Store::Store(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

Store::~Store() = default;

bool Store::parseStream()
{
    m_scope.readFromStream(m_streamParser);

    while (!m_streamParser->hasList()) {
        const QByteArray option = m_streamParser->readString();
        if (option.isEmpty())
            throw HandlerException("No modification list provided in STORE command");
        if (option == "REV")
            m_previousRevision = m_streamParser->readNumber();
        else if (option == "SIZE")
            m_size = m_streamParser->readNumber();
    }
    // Everything the client sends comes before the transaction: however slowly a part's bytes
    // arrive, no other client waits for the write lock meanwhile.
    readModifications();

    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);
    const QDateTime modificationTime = QDateTime::currentDateTimeUtc();

    SelectQueryBuilder<PimItem> itemQuery;
    ItemQueryHelper::scopeToQuery(m_scope, *m_connection, itemQuery);
    // The flag lines follow the items' order, as FETCH's do.
    itemQuery.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    if (!itemQuery.exec())
        return failureResponse("Unable to retrieve items");
    QList<PimItem> items = itemQuery.result();
    if (items.isEmpty())
        return failureResponse("No items found");

    for (PimItem &item : items) {
        // The only guard against a change another client made since this one last looked.
        if (m_previousRevision >= 0 && item.rev() != m_previousRevision)
            throw HandlerException("Item was modified elsewhere, aborting STORE.");
        item.setRev(item.rev() + 1);
    }

    bool invalidateCache = false;
    for (Modification &modification : m_modifications) {
        if (!apply(items, modification, invalidateCache))
            return false;
    }

    QDateTime dateTime = items.first().datetime();
    if (!m_changes.isEmpty()) {
        if (items.size() == 1)
            writeItemChanges(items.first(), modificationTime, invalidateCache);
        else
            writeItemsChanges(items, modificationTime);
        store->notificationCollector()->notifyItemsChanged(items, m_changes);

        if (!transaction.commit())
            return failureResponse("Cannot commit transaction.");
        dateTime = modificationTime;
    }

    Response response;
    response.setTag(m_tag);
    response.setSuccess();
    response.setString("DATETIME " + HandlerSupport::quotedDateTime(dateTime) + " STORE completed");
    Q_EMIT responseAvailable(response);
    return true;
}

void Store::writeItemChanges(PimItem &item, const QDateTime &modificationTime, bool invalidateCache)
{
    if (m_size > 0 || m_partSizes > 0)
        item.setSize(qMax(m_size, m_partSizes));
    item.setDatetime(modificationTime);
    item.setAtime(modificationTime);
    // A change the owning resource has not made yet has to reach it.
    if (!m_connection->isOwnerResource(item))
        item.setDirty(true);
    if (!item.update())
        throw HandlerException("Unable to write item changes into the database");
    if (invalidateCache && !m_connection->storageBackend()->invalidateItemCache(item))
        throw HandlerException("Unable to invalidate item cache in the database");
}

void Store::writeItemsChanges(const QList<PimItem> &items, const QDateTime &modificationTime)
{
    // Only flags change on many items at once, so every item gets the same columns: a new
    // revision and times, and the dirty mark where the change is not the owning resource's own.
    QList<qint64> owned;
    QList<qint64> others;
    for (const PimItem &item : items)
        (m_connection->isOwnerResource(item) ? owned : others).append(item.id());
    if (!PimItemSet(owned).markChanged(modificationTime, false) || !PimItemSet(others).markChanged(modificationTime, true))
        throw HandlerException("Unable to write item changes into the database");
}

void Store::readModifications()
{
    m_streamParser->beginList();
    while (!m_streamParser->atListEnd())
        m_modifications.push_back(readModification());
}

Store::Modification Store::readModification()
{
    Modification modification;
    QByteArray &command = modification.command;
    command = m_streamParser->readString();
    if (command.isEmpty())
        throw HandlerException("Syntax error");
    if (command.startsWith('+')) {
        modification.operation = Add;
        command.remove(0, 1);
    } else if (command.startsWith('-')) {
        modification.operation = Delete;
        command.remove(0, 1);
    }
    modification.silent = command.endsWith(".SILENT");
    if (modification.silent)
        command.chop(7);

    if (command == "FLAGS" || command == "PARTS") {
        modification.list = m_streamParser->readParenthesizedList();
    } else if (command == "REMOTEID" || command == "REMOTEREVISION") {
        modification.value = m_streamParser->readUtf8String().toUtf8();
    } else if (command == "DIRTY") {
        m_streamParser->readString();
    } else if (command == "SIZE") {
        modification.number = m_streamParser->readNumber();
    } else if (command == "INVALIDATECACHE") {
        // no value
    } else if (command == "COLLECTION") {
        throw HandlerException("Item moving via STORE is deprecated, update your Talvori client");
    } else if (m_streamParser->hasLiteral()) {
        const qint64 dataSize = m_streamParser->remainingLiteralSize();
        modification.payload = std::make_unique<PayloadWriter>(dataSize);
        HandlerSupport::readLiteral(*m_streamParser, *modification.payload);
    } else {
        modification.value = m_streamParser->readString();
    }
    return modification;
}

bool Store::apply(QList<PimItem> &items, Modification &modification, bool &invalidateCache)
{
    const QByteArray &command = modification.command;
    if (command == "FLAGS") {
        if (changeFlags(items, modification))
            m_changes.insert("FLAGS");
        return true;
    }

    if (items.size() != 1)
        throw HandlerException("This Modification can only be applied to a single item");
    PimItem &item = items.first();
    if (!item.isValid())
        throw HandlerException("Invalid item in query result!?");

    if (command == "REMOTEID" || command == "REMOTEREVISION") {
        // What the resource knows the item by: only the resource itself may change it.
        const bool isId = command == "REMOTEID";
        const QString value = QString::fromUtf8(modification.value);
        if ((isId ? item.remoteId() : item.remoteRevision()) != value) {
            if (!m_connection->isOwnerResource(item)) {
                throw HandlerException(isId ? "Only resources can modify remote identifiers"
                                            : "Only resources can modify remote revisions");
            }
            if (isId)
                item.setRemoteId(value);
            else
                item.setRemoteRevision(value);
            m_changes.insert(command);
        }
    } else if (command == "DIRTY") {
        item.setDirty(false);
    } else if (command == "INVALIDATECACHE") {
        invalidateCache = true;
    } else if (command == "SIZE") {
        m_size = modification.number;
        m_changes.insert("SIZE");
    } else if (command == "PARTS") {
        if (modification.operation == Delete) {
            if (!m_connection->storageBackend()->removeItemParts(item, modification.list))
                return failureResponse("Unable to remove item parts.");
            for (const QByteArray &name : std::as_const(modification.list))
                m_changes.insert(name);
        }
    } else {
        return storePart(item, modification);
    }
    return true;
}

bool Store::changeFlags(QList<PimItem> &items, const Modification &modification)
{
    const QList<QByteArray> &names = modification.list;
    DataStore *store = m_connection->storageBackend();

    QList<Flag> flags;
    if (modification.operation == Delete) {
        for (const QByteArray &name : names) {
            const Flag flag = Flag::retrieveByName(QString::fromUtf8(name));
            if (flag.isValid())
                flags.append(flag);
        }
    } else {
        flags = HandlerSupport::flagsForNames(names);
    }

    // Whether any item changed, not just the last one: recording the change only for the last
    // item would roll back the flags the earlier items were given.
    bool anyChanged = false;
    switch (modification.operation) {
    case Replace:
        if (!store->setItemsFlags(items, flags, anyChanged))
            throw HandlerException("Store::replaceFlags: Unable to set new item flags");
        break;
    case Add:
        if (!store->appendItemsFlags(items, flags, anyChanged, true, Collection())) {
            logError() << "Store::addFlags: Unable to add new item flags";
            throw HandlerException("Unable to add item flags.");
        }
        break;
    case Delete:
        if (!store->removeItemsFlags(items, flags)) {
            logError() << "Store::deleteFlags: Unable to remove item flags";
            throw HandlerException("Unable to remove item flags.");
        }
        // Removal does not tell whether the items had the flags; it counts as a change.
        anyChanged = true;
        break;
    }
    if (!modification.silent)
        sendFlags(items);
    return anyChanged;
}

void Store::sendFlags(const QList<PimItem> &items)
{
    // A failed read leaves the lines without flags, as an item without any would have.
    QHash<qint64, QList<QByteArray>> flags;
    PimItemSet(items).flagNames(flags);
    for (const PimItem &item : items) {
        Q_EMIT responseAvailable(HandlerSupport::untagged(QByteArray::number(item.id()) + " FETCH (FLAGS ("
                                                          + flags.value(item.id()).join(' ') + "))"));
    }
}

bool Store::storePart(PimItem &item, Modification &modification)
{
    QByteArray name;
    int version = 0;
    ImapParser::splitVersionedKey(modification.command, name, version);

    SelectQueryBuilder<Part> partQuery;
    partQuery.addValueCondition(Part::pimItemIdColumn(), Query::Equals, item.id());
    partQuery.addValueCondition(Part::nameColumn(), Query::Equals, QString::fromUtf8(name));
    if (!partQuery.exec())
        return failureResponse("Unable to check item part existence");
    const QList<Part> existing = partQuery.result();
    Part part = existing.isEmpty() ? Part() : existing.first();
    const bool isNew = !part.isValid();
    part.setName(QString::fromUtf8(name));
    part.setVersion(version);
    part.setPimItemId(item.id());

    QByteArray value = modification.value;
    if (PayloadWriter *payload = modification.payload.get()) {
        const qint64 dataSize = payload->announcedSize();
        m_partSizes += dataSize;
        if (payload->failed())
            return failureResponse("Unable to update item part");
        if (payload->hasFile()) {
            // A payload large enough for a file of its own always counts as a change.
            if (isNew) {
                part.setDatasize(dataSize);
                if (!PartHelper::insert(&part, *payload))
                    return failureResponse("Unable to add item part");
            } else {
                PartHelper::update(&part, *payload);
            }
            m_changes.insert(name);
            return true;
        }
        value = payload->data();
    } else {
        m_partSizes += value.size();
    }

    if (PartHelper::translateData(part) == value)
        return true;
    if (isNew) {
        part.setData(value);
        part.setDatasize(value.size());
        if (!PartHelper::insert(&part))
            return failureResponse("Unable to add item part");
    } else {
        PartHelper::update(&part, value, value.size());
    }
    m_changes.insert(name);
    return true;
}

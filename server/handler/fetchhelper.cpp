#include "fetchhelper.h"

#include "handler.h"
#include "handlersupport.h"

#include "common/exception.h"
#include "common/log.h"
#include "protocol/imapstreamparser.h"
#include "services/itemretrievalmanager.h"
#include "services/itemretriever.h"
#include "storage/collectionancestry.h"
#include "storage/datastore.h"
#include "storage/itemqueryhelper.h"
#include "storage/parthelper.h"
#include "storage/querybuilder.h"
#include "storage/queryhelper.h"
#include "storage/session.h"
#include "storage/transaction.h"

#include <imapparser.h>

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>


using namespace Talvori;

namespace {

// Column positions of the three queries, so rows are read by index and not by name.
enum ItemColumn { ItemId, ItemRemoteId, ItemMimeType, ItemRev, ItemRemoteRevision, ItemSize, ItemDateTime,
                  ItemCollectionId };
enum PartColumn { PartItemId, PartName, PartData, PartExternal, PartVersion };
enum FlagColumn { FlagItemId, FlagName };

// Text columns come as strings from most drivers and as UTF-8 bytes from PostgreSQL, where they
// are binary.
QByteArray utf8Of(const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    return value.toString().toUtf8();
}

QByteArray latin1Of(const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray()).toLatin1();
    return value.toString().toLatin1();
}

// The three queries are read once, front to back, side by side. Forward-only spares the copy of
// every row, except on PostgreSQL, where a forward-only query streams row by row and keeps the
// connection busy, so the next query could not run until the first one was read to its end.
void walkOnce(QueryBuilder &qb)
{
    if (qb.databaseType() != QueryBuilder::PostgreSQL)
        qb.query().setForwardOnly(true);
}

} // namespace

FetchHelper::FetchHelper(Handler &handler, const Scope &scope)
    : m_handler(handler)
    , m_connection(handler.connection())
    , m_streamParser(handler.streamParser())
    , m_scope(scope)
{
}

bool FetchHelper::atLineEnd() const
{
    const QByteArray rest = m_streamParser->readRemainingData();
    return rest.startsWith('\r') || rest.startsWith('\n');
}

// The command's line end is left unread: the connection consumes it, and after a failure it skips
// up to it, so reading it here would make the connection skip the next command instead.
void FetchHelper::parseCommandStream()
{
    for (;;) {
        if (m_streamParser->hasList()) {
            m_requestedAttributes += m_streamParser->readParenthesizedList();
            // Nothing may follow the attribute list; whatever does is dropped with the command
            // rather than being read as the next command.
            if (!atLineEnd())
                m_streamParser->readUntilCommandEnd();
            return;
        }
        const QByteArray option = m_streamParser->readString();
        if (option.isEmpty() && atLineEnd())
            return;
        if (option == "CACHEONLY") {
            m_cacheOnly = true;
        } else if (option == "ALLATTR") {
            m_allAttributes = true;
        } else if (option == "EXTERNALPAYLOAD") {
            m_externalPayloadSupported = true;
        } else if (option == "FULLPAYLOAD") {
            m_requestedAttributes.append("PLD:RFC822");
            m_fullPayload = true;
        } else if (option == "ANCESTORS") {
            m_ancestorDepth = HandlerSupport::depthFromText(m_streamParser->readString());
        } else {
            throw HandlerException("Invalid command argument");
        }
    }
}

void FetchHelper::examineRequestedAttributes()
{
    for (const QByteArray &attribute : std::as_const(m_requestedAttributes)) {
        if (attribute == "UID" || attribute == "REV" || attribute == "REMOTEID") {
            // always sent
        } else if (attribute == "FLAGS") {
            m_flagsRequested = true;
        } else if (attribute == "SIZE") {
            m_sizeRequested = true;
        } else if (attribute == "DATETIME") {
            m_dateTimeRequested = true;
        } else if (attribute == "REMOTEREVISION") {
            m_remoteRevisionRequested = true;
        } else {
            const QString partName = QString::fromLatin1(attribute);
            if (m_partNames.contains(partName))
                continue;
            m_partNames.append(partName);
            if (attribute.startsWith("PLD:"))
                m_payloadNames.append(partName);
        }
    }
}

void FetchHelper::triggerOnDemandSync()
{
    if (m_scope.selection() != Scope::Plain || m_connection->selectedCollectionId() <= 0 || m_cacheOnly)
        return;
    Collection collection = m_connection->selectedCollection();
    if (!collection.isValid())
        return;
    // A resource fetching its own collection is in the middle of synchronising it.
    if (m_connection->sessionId() == collection.resource().name().toLatin1())
        return;
    DataStore::activeCachePolicy(collection);
    if (collection.cachePolicySyncOnDemand())
        ItemRetrievalManager::requestCollectionSync(collection);
}

void FetchHelper::retrieveMissingPayload()
{
    if (m_cacheOnly)
        return;
    ItemRetriever retriever(m_connection);
    retriever.setScope(m_scope);
    retriever.setRetrieveParts(m_payloadNames);
    retriever.setRetrieveFullPayload(m_fullPayload);
    // A delivery that fails only leaves its part missing below.
    retriever.exec();
}

bool FetchHelper::executeItemQuery(QueryBuilder &qb)
{
    ItemQueryHelper::joinTypeCollectionAndResource(qb);
    // In the order of ItemColumn.
    qb.addColumns({PimItem::idFullColumnName(), PimItem::remoteIdFullColumnName(), MimeType::nameFullColumnName(),
                   PimItem::revFullColumnName(), PimItem::remoteRevisionFullColumnName(),
                   PimItem::sizeFullColumnName(), PimItem::datetimeFullColumnName(),
                   PimItem::collectionIdFullColumnName()});
    ItemQueryHelper::scopeToQuery(m_scope, *m_connection, qb);
    qb.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    walkOnce(qb);
    return qb.exec();
}

bool FetchHelper::executePartQuery(QueryBuilder &qb)
{
    qb.addJoin(QueryBuilder::InnerJoin, Part::tableName(), PimItem::idFullColumnName(),
               Part::pimItemIdFullColumnName());
    // In the order of PartColumn.
    qb.addColumns({PimItem::idFullColumnName(), Part::nameFullColumnName(), Part::dataFullColumnName(),
                   Part::externalFullColumnName(), Part::versionFullColumnName()});
    ItemQueryHelper::scopeToQuery(m_scope, *m_connection, qb);

    Query::Condition partCondition(Query::Or);
    if (!m_partNames.isEmpty())
        partCondition.addValueCondition(Part::nameFullColumnName(), Query::In, m_partNames);
    if (m_fullPayload)
        partCondition.addValueCondition(PartHelper::namePrefixExpression(), Query::Equals, QStringLiteral("PLD:"));
    if (m_allAttributes)
        partCondition.addValueCondition(PartHelper::namePrefixExpression(), Query::Equals, QStringLiteral("ATR:"));
    qb.addCondition(partCondition);

    qb.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    walkOnce(qb);
    return qb.exec();
}

bool FetchHelper::executeFlagQuery(QueryBuilder &qb)
{
    qb.addJoin(QueryBuilder::InnerJoin, PimItemFlagRelation::tableName(), PimItem::idFullColumnName(),
               PimItemFlagRelation::leftFullColumnName());
    qb.addJoin(QueryBuilder::InnerJoin, Flag::tableName(), Flag::idFullColumnName(),
               PimItemFlagRelation::rightFullColumnName());
    // In the order of FlagColumn.
    qb.addColumns({PimItem::idFullColumnName(), Flag::nameFullColumnName()});
    ItemQueryHelper::scopeToQuery(m_scope, *m_connection, qb);
    qb.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    walkOnce(qb);
    return qb.exec();
}

bool FetchHelper::parseStream(const QByteArray &responseWord)
{
    parseCommandStream();
    triggerOnDemandSync();
    examineRequestedAttributes();

    // A set too large for one statement is served piece by piece, each piece above the last, so
    // the lines still come in ascending id order.
    const QList<Scope> pieces = scopePieces();
    QList<qint64> ids;
    for (const Scope &piece : pieces) {
        m_scope = piece;
        retrieveMissingPayload();
        if (!sendItems(responseWord, ids))
            return false;
    }
    updateItemAccessTime(ids);
    return true;
}

QList<Scope> FetchHelper::scopePieces() const
{
    if ((m_scope.selection() != Scope::Plain && m_scope.selection() != Scope::ById)
        || m_scope.idSet().intervals().size() <= QueryHelper::MaxIntervalsPerStatement)
        return {m_scope};
    QList<Scope> pieces;
    const QList<ImapSet> sets = QueryHelper::splitSet(m_scope.idSet());
    for (const ImapSet &set : sets) {
        Scope piece(m_scope.selection());
        piece.setIdSet(set);
        pieces.append(piece);
    }
    return pieces;
}

bool FetchHelper::sendItems(const QByteArray &responseWord, QList<qint64> &ids)
{
    QueryBuilder itemQuery(PimItem::tableName());
    if (!executeItemQuery(itemQuery)) {
        return m_handler.failureResponse("Unable to list items");
    }

    QueryBuilder partQuery(PimItem::tableName());
    const bool partsWanted = !m_partNames.isEmpty() || m_fullPayload || m_allAttributes;
    if (partsWanted && !executePartQuery(partQuery)) {
        return m_handler.failureResponse("Unable to list item parts");
    }

    QueryBuilder flagQuery(PimItem::tableName());
    if (m_flagsRequested && !executeFlagQuery(flagQuery)) {
        return m_handler.failureResponse("Unable to retrieve item flags");
    }

    QSqlQuery &items = itemQuery.query();
    QSqlQuery &parts = partQuery.query();
    QSqlQuery &flags = flagQuery.query();
    bool partsLeft = partsWanted && parts.next();
    bool flagsLeft = m_flagsRequested && flags.next();
    QVariant lastMimeType;
    QByteArray quotedMimeType;
    while (items.next()) {
        const qint64 id = items.value(ItemId).toLongLong();
        ids.append(id);
        const QByteArray idText = QByteArray::number(id);

        QByteArray line;
        line.reserve(256);
        line += idText;
        line += ' ';
        line += responseWord;
        line += " (UID ";
        line += idText;
        line += " REV ";
        line += QByteArray::number(items.value(ItemRev).toLongLong());
        line += " REMOTEID ";
        line += ImapParser::quote(utf8Of(items.value(ItemRemoteId)));
        line += " MIMETYPE ";
        // Most items share a type: its quoted name is made once for a run of them.
        const QVariant mimeType = items.value(ItemMimeType);
        if (mimeType != lastMimeType) {
            lastMimeType = mimeType;
            quotedMimeType = ImapParser::quote(utf8Of(mimeType));
        }
        line += quotedMimeType;
        line += " COLLECTIONID ";
        const qint64 collectionId = items.value(ItemCollectionId).toLongLong();
        line += QByteArray::number(collectionId);
        if (m_sizeRequested) {
            line += " SIZE ";
            line += QByteArray::number(items.value(ItemSize).toLongLong());
        }
        if (m_dateTimeRequested) {
            line += " DATETIME ";
            line += HandlerSupport::quotedDateTime(Entity::dateTimeFromVariant(items.value(ItemDateTime)));
        }
        if (m_remoteRevisionRequested) {
            line += " REMOTEREVISION ";
            line += ImapParser::quote(utf8Of(items.value(ItemRemoteRevision)));
        }
        if (m_flagsRequested) {
            line += " FLAGS (";
            bool first = true;
            while (flagsLeft) {
                const qint64 flagItemId = flags.value(FlagItemId).toLongLong();
                if (flagItemId > id)
                    break;
                if (flagItemId == id) {
                    if (!first)
                        line += ' ';
                    line += utf8Of(flags.value(FlagName));
                    first = false;
                }
                flagsLeft = flags.next();
            }
            line += ')';
        }
        if (m_ancestorDepth > 0) {
            line += ' ';
            line += HandlerSupport::ancestorsText(m_ancestorDepth, ancestorsOf(collectionId));
        }
        if (partsLeft)
            appendParts(line, id, parts, partsLeft);
        line += ')';

        Response response;
        response.setUntagged();
        response.setString(line);
        m_handler.sendResponse(response);
    }

    return true;
}

void FetchHelper::appendParts(QByteArray &line, qint64 id, QSqlQuery &parts, bool &partsLeft)
{
    while (partsLeft) {
        const qint64 partItemId = parts.value(PartItemId).toLongLong();
        if (partItemId > id)
            return;
        if (partItemId < id) {
            partsLeft = parts.next();
            continue;
        }

        const QByteArray name = latin1Of(parts.value(PartName));
        if (m_fullPayload || m_allAttributes || m_requestedAttributes.contains(name)) {
            const bool external = parts.value(PartExternal).toBool();
            const QVariant value = parts.value(PartData);
            // Drivers may hand out an empty blob as a null byte array; only a NULL column is NIL.
            bool isNull = value.isNull();
            QByteArray data = value.toByteArray();
            // A client that reads payload files itself gets the path; any other gets the content,
            // and NIL when the file cannot be read.
            if (external && !m_externalPayloadSupported) {
                data = PartHelper::translateData(data, true);
                isNull = data.isNull();
            }

            line.reserve(line.size() + name.size() + data.size() + 32);
            line += ' ';
            line += name;
            const int version = parts.value(PartVersion).toInt();
            if (version != 0) {
                line += '[';
                line += QByteArray::number(version);
                line += ']';
            }
            if (external && m_externalPayloadSupported)
                line += " [FILE] ";
            if (isNull) {
                line += " NIL";
            } else if (data.isEmpty()) {
                line += " \"\"";
            } else {
                line += " {";
                line += QByteArray::number(data.size());
                line += "}\r\n";
                line += data;
            }
        }
        partsLeft = parts.next();
    }
}

const QStack<Collection> &FetchHelper::ancestorsOf(qint64 collectionId)
{
    auto cached = m_ancestorCache.constFind(collectionId);
    if (cached != m_ancestorCache.constEnd())
        return *cached;
    // The item's own collection is the first of its ancestors here.
    return *m_ancestorCache.insert(collectionId, CollectionAncestry::upwards(collectionId, m_ancestorDepth,
                                                                             CollectionAncestry::fromDatabase()));
}

void FetchHelper::updateItemAccessTime(const QList<qint64> &ids)
{
    // By the ids the item query found rather than by the scope's conditions: those may need a join
    // (remote identifiers within a resource context, a selected search collection), which an
    // UPDATE cannot carry on every database. Consecutive ids collapse into ranges, a statement per
    // piece of the set that fits into one.
    const QDateTime now = QDateTime::currentDateTimeUtc();

    // The answer must not wait for a writer: while another connection holds the write lock, the
    // items are not marked as read this time (the cache cleaner may drop their payloads sooner).
    Transaction transaction(m_connection->storageBackend(), Transaction::IfUncontended());
    if (!transaction.active())
        return;
    const QList<ImapSet> pieces = QueryHelper::idPieces(ids);
    for (const ImapSet &chunk : pieces) {
        QueryBuilder qb(PimItem::tableName(), QueryBuilder::UpdateStatement);
        qb.setColumnValue(PimItem::atimeColumn(), now);
        QueryHelper::setToQuery(chunk, PimItem::idFullColumnName(), qb);
        if (!qb.exec()) {
            logDebug() << "Unable to update item access time";
            return;
        }
    }
    transaction.commit();
}

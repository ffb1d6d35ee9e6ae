#include "localindexwriter.h"

#include "common/log.h"
#include "search/localsearchschema.h"
#include "storage/entities.h"
#include "storage/parthelper.h"
#include "storage/querybuilder.h"
#include "storage/selectquerybuilder.h"

#include <QDir>
#include <QSqlQuery>

#include <limits>

using namespace Talvori;

namespace {

// Documents written before a commit, and the longest a written document waits for one. Xapian
// keeps what is not committed in memory, and merging a large amount of it costs far more per
// document than merging a little often (a quarter as much for 250 documents as for 2,000), so
// catching up commits as often as live indexing does.
constexpr int CommitEvery = 250;
constexpr qint64 CommitAfterMs = 1000;

// Item ids are document ids, which Xapian keeps in 32 bits.
bool fitsDocumentId(qint64 itemId)
{
    return itemId > 0 && itemId <= qint64(std::numeric_limits<Xapian::docid>::max());
}

QVariantList variantList(const QList<qint64> &ids)
{
    QVariantList list;
    list.reserve(ids.size());
    for (const qint64 id : ids)
        list.append(id);
    return list;
}

// The text of an item from its cached payload parts. A mail's whole message wins over its header
// alone; other items give the text of every part.
PimText textOf(const QString &mimeType, const QList<QPair<QString, QByteArray>> &payloads)
{
    if (mimeType.startsWith(QLatin1String("message/"), Qt::CaseInsensitive)) {
        for (const char *preferred : {"PLD:RFC822", "PLD:HEAD"}) {
            for (const auto &payload : payloads) {
                if (payload.first == QLatin1String(preferred))
                    return PimText::fromPayload(mimeType, payload.second);
            }
        }
    }
    PimText text;
    for (const auto &payload : payloads)
        text.merge(PimText::fromPayload(mimeType, payload.second));
    return text;
}

} // namespace

LocalIndexWriter::Change LocalIndexWriter::merged(Change a, Change b)
{
    if (a == Change::Content || b == Change::Content)
        return Change::Content;
    if (a == Change::Unknown || b == Change::Unknown)
        return Change::Unknown;
    return Change::Metadata;
}

void LocalIndexWriter::add(Changes &changes, qint64 itemId, Change change)
{
    const auto pending = changes.find(itemId);
    if (pending == changes.end())
        changes.insert(itemId, change);
    else
        *pending = merged(*pending, change);
}

LocalIndexWriter::LocalIndexWriter(QString path)
    : m_path(std::move(path))
{
    m_sinceCommit.start();
}

bool LocalIndexWriter::open()
{
    m_new = false;
    try {
        m_database = Xapian::WritableDatabase(m_path.toStdString(), Xapian::DB_CREATE_OR_OPEN | Xapian::DB_NO_SYNC);
        const std::string format = m_database.get_metadata(LocalSearchSchema::FormatKey);
        if (format.empty() && m_database.get_doccount() == 0) {
            m_database.set_metadata(LocalSearchSchema::FormatKey, LocalSearchSchema::Format);
            m_database.commit();
            m_new = true;
            return true;
        }
        if (format != LocalSearchSchema::Format)
            return recreate(QStringLiteral("it is of another format"));
        return true;
    } catch (const Xapian::DatabaseLockError &e) {
        logError().noquote() << "The search index" << m_path << "is in use by another process, local search is off:"
                             << QString::fromStdString(e.get_msg());
        return false;
    } catch (const Xapian::Error &e) {
        return recreate(QString::fromStdString(e.get_description()));
    }
}

bool LocalIndexWriter::recreate(const QString &reason)
{
    logError().noquote() << "The search index" << m_path << "cannot be used (" + reason + "); building it anew";
    m_database.close();
    m_database = Xapian::WritableDatabase();
    if (!QDir(m_path).removeRecursively() || !QDir().mkpath(m_path)) {
        logError().noquote() << "Unable to remove the search index" << m_path << "; local search is off";
        return false;
    }
    return createEmpty();
}

bool LocalIndexWriter::createEmpty()
{
    try {
        m_database = Xapian::WritableDatabase(m_path.toStdString(), Xapian::DB_CREATE | Xapian::DB_NO_SYNC);
        m_database.set_metadata(LocalSearchSchema::FormatKey, LocalSearchSchema::Format);
        m_database.commit();
    } catch (const Xapian::Error &e) {
        logError().noquote() << "Unable to create the search index" << m_path << ":"
                             << QString::fromStdString(e.get_description()) << "; local search is off";
        return false;
    }
    m_new = true;
    m_uncommitted = 0;
    return true;
}

LocalIndexWriter::Changes LocalIndexWriter::catchUp(QList<qint64> *removed)
{
    Changes behind;
    QueryBuilder qb(PimItem::tableName());
    qb.addColumns({PimItem::idFullColumnName(), PimItem::revFullColumnName(), PimItem::collectionIdFullColumnName()});
    if (!qb.exec()) {
        logError() << "Unable to list the items for the search index";
        return behind;
    }
    QHash<qint64, LocalDocument::State> stored;
    while (qb.query().next()) {
        LocalDocument::State state;
        state.revision = qb.query().value(1).toInt();
        state.collectionId = qb.query().value(2).toLongLong();
        stored.insert(qb.query().value(0).toLongLong(), state);
    }
    qb.query().finish();

    QList<qint64> gone;
    for (auto it = m_database.valuestream_begin(LocalSearchSchema::StateSlot);
         it != m_database.valuestream_end(LocalSearchSchema::StateSlot); ++it) {
        const qint64 id = qint64(it.get_docid());
        const auto item = stored.constFind(id);
        if (item == stored.constEnd())
            gone.append(id);
        else if (LocalDocument::decodeState(*it) == *item)
            stored.erase(item);
    }
    for (const qint64 id : std::as_const(gone))
        remove(id);
    if (!gone.isEmpty())
        commit();
    if (removed)
        *removed = gone;
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (fitsDocumentId(it.key()))
            behind.insert(it.key(), Change::Unknown);
    }
    return behind;
}

QList<qint64> LocalIndexWriter::index(const Changes &changes)
{
    QList<qint64> ids = changes.keys();
    ids.removeIf([](qint64 id) { return !fitsDocumentId(id); });
    std::sort(ids.begin(), ids.end());
    QHash<qint64, StoredItem> items;
    if (!readItems(ids, &items))
        return {};

    QList<qint64> changed;
    QList<qint64> toMake;
    for (const qint64 id : std::as_const(ids)) {
        const auto item = items.constFind(id);
        if (item == items.constEnd()) {
            if (remove(id))
                changed.append(id);
            continue;
        }
        Xapian::Document existing;
        try {
            existing = m_database.get_document(Xapian::docid(id));
        } catch (const Xapian::DocNotFoundError &) {
            toMake.append(id);
            continue;
        }
        if (changes.value(id) != Change::Metadata) {
            // Unknown changes are decided once the payload is known.
            toMake.append(id);
            continue;
        }
        // A move or new flags bring no new words.
        if (LocalDocument::decodeState(existing.get_value(LocalSearchSchema::StateSlot)) == item->state)
            continue;
        LocalDocument::restate(existing, item->state);
        m_database.replace_document(Xapian::docid(id), existing);
        ++m_uncommitted;
        changed.append(id);
    }
    if (toMake.isEmpty() || !readPayloads(toMake, &items))
        return changed;

    for (const qint64 id : std::as_const(toMake)) {
        const StoredItem &item = items[id];
        const Xapian::docid docid = Xapian::docid(id);
        if (changes.value(id) == Change::Unknown && item.uncachedPayloads > 0) {
            // A payload the cache let go since it was indexed: the store has nothing to read again,
            // so the words the index has stay.
            try {
                Xapian::Document existing = m_database.get_document(docid);
                LocalDocument::restate(existing, item.state);
                m_database.replace_document(docid, existing);
                ++m_uncommitted;
                changed.append(id);
                continue;
            } catch (const Xapian::DocNotFoundError &) {
                // Not indexed yet: what the store has is all there is.
            }
        }
        m_database.replace_document(docid, m_documents.make(id, item.state, item.mimeType,
                                                             textOf(item.mimeType, item.payloads)));
        ++m_uncommitted;
        changed.append(id);
    }
    std::sort(changed.begin(), changed.end());
    return changed;
}

bool LocalIndexWriter::remove(qint64 itemId)
{
    try {
        m_database.delete_document(Xapian::docid(itemId));
        ++m_uncommitted;
        return true;
    } catch (const Xapian::DocNotFoundError &) {
        // Never indexed: nothing to take back.
        return false;
    }
}

void LocalIndexWriter::commitIfDue(bool idle)
{
    if (m_uncommitted == 0)
        return;
    if (idle || m_uncommitted >= CommitEvery || m_sinceCommit.elapsed() >= CommitAfterMs)
        commit();
}

void LocalIndexWriter::commit()
{
    m_database.commit();
    m_uncommitted = 0;
    m_sinceCommit.restart();
}

bool LocalIndexWriter::readItems(const QList<qint64> &ids, QHash<qint64, StoredItem> *items)
{
    if (ids.isEmpty())
        return true;
    QueryBuilder itemQuery(PimItem::tableName());
    itemQuery.addColumns({PimItem::idFullColumnName(), PimItem::revFullColumnName(),
                          PimItem::collectionIdFullColumnName(), PimItem::mimeTypeIdFullColumnName()});
    itemQuery.addValueCondition(PimItem::idFullColumnName(), Query::In, variantList(ids));
    if (!itemQuery.exec()) {
        logError() << "Unable to read items for the search index";
        return false;
    }
    while (itemQuery.query().next()) {
        StoredItem item;
        item.state.revision = itemQuery.query().value(1).toInt();
        item.state.collectionId = itemQuery.query().value(2).toLongLong();
        item.mimeType = mimeTypeName(itemQuery.query().value(3).toLongLong());
        items->insert(itemQuery.query().value(0).toLongLong(), item);
    }
    return true;
}

bool LocalIndexWriter::readPayloads(const QList<qint64> &ids, QHash<qint64, StoredItem> *items)
{
    SelectQueryBuilder<Part> partQuery;
    partQuery.addValueCondition(Part::pimItemIdFullColumnName(), Query::In, variantList(ids));
    partQuery.addValueCondition(PartHelper::namePrefixExpression(), Query::Equals, QStringLiteral("PLD:"));
    if (!partQuery.exec()) {
        logError() << "Unable to read item parts for the search index";
        return false;
    }
    const QList<Part> parts = partQuery.result();
    for (const Part &part : parts) {
        const auto item = items->find(part.pimItemId());
        if (item == items->end())
            continue;
        const QByteArray data = part.datasize() > 0 ? PartHelper::translateData(part) : QByteArray();
        if (data.isEmpty())
            ++item->uncachedPayloads;
        else
            item->payloads.append({part.name(), data});
    }
    return true;
}

QString LocalIndexWriter::mimeTypeName(qint64 mimeTypeId)
{
    auto it = m_mimeTypes.constFind(mimeTypeId);
    if (it == m_mimeTypes.constEnd())
        it = m_mimeTypes.insert(mimeTypeId, MimeType::retrieveById(mimeTypeId).name());
    return *it;
}

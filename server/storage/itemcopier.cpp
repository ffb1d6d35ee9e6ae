#include "storage/itemcopier.h"

#include "storage/datastore.h"
#include "storage/parthelper.h"
#include "storage/queryhelper.h"
#include "storage/selectquerybuilder.h"

#include <imapset.h>

#include <QDateTime>

using namespace Talvori;

namespace {

// Items whose parts are held in memory at once: payloads below the file threshold, so a batch
// stays within a few MiB.
constexpr qsizetype BatchSize = 1000;

const QString hiddenPart = QStringLiteral("ATR:HIDDEN");

} // namespace

ItemCopier::ItemCopier(DataStore *store)
    : m_store(store)
{
}

bool ItemCopier::copy(const QList<PimItem> &items, const Collection &target)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (qsizetype start = 0; start < items.size(); start += BatchSize) {
        const QList<PimItem> batch = items.mid(start, BatchSize);
        if (!loadSources(batch))
            return false;
        for (const PimItem &item : batch) {
            if (!copyItem(item, target, now))
                return false;
        }
    }
    return true;
}

bool ItemCopier::loadSources(const QList<PimItem> &items)
{
    m_parts.clear();
    m_flags.clear();
    QList<qint64> ids;
    ids.reserve(items.size());
    for (const PimItem &item : items)
        ids.append(item.id());
    ImapSet set;
    set.add(ids);

    for (const ImapSet &piece : QueryHelper::splitSet(set)) {
        SelectQueryBuilder<Part> parts;
        QueryHelper::setToQuery(piece, Part::pimItemIdFullColumnName(), parts);
        parts.addValueCondition(Part::nameFullColumnName(), Query::NotEquals, hiddenPart);
        parts.addSortColumn(Part::idFullColumnName(), Query::Ascending);
        if (!parts.exec())
            return false;
        const QList<Part> result = parts.result();
        for (const Part &part : result)
            m_parts[part.pimItemId()].append(part);

        QueryBuilder flags(PimItemFlagRelation::tableName());
        flags.addColumns({PimItemFlagRelation::leftFullColumnName(), PimItemFlagRelation::rightFullColumnName()});
        QueryHelper::setToQuery(piece, PimItemFlagRelation::leftFullColumnName(), flags);
        if (!flags.exec())
            return false;
        while (flags.query().next())
            m_flags[flags.query().value(0).toLongLong()].append(flags.query().value(1).toLongLong());
    }
    return true;
}

bool ItemCopier::copyItem(const PimItem &source, const Collection &target, const QDateTime &now)
{
    PimItem copy;
    copy.setSize(source.size());
    QList<Part> noParts;
    if (!m_store->appendPimItem(noParts, source.mimeType(), target, now, QString(), QString(), copy))
        return false;

    const QList<Part> parts = m_parts.value(source.id());
    for (const Part &part : parts) {
        Part copiedPart;
        copiedPart.setPimItemId(copy.id());
        copiedPart.setName(part.name());
        copiedPart.setVersion(part.version());
        if (!PartHelper::insertCopy(&copiedPart, part))
            return false;
    }
    // Flags are copied as they are; the added notification stands for them.
    const QList<qint64> flags = m_flags.value(source.id());
    for (const qint64 flag : flags) {
        if (!PimItem::addFlag(copy.id(), flag))
            return false;
    }
    return true;
}

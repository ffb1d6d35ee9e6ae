#include "storage/pimitemset.h"

#include "storage/querybuilder.h"
#include "storage/queryhelper.h"

#include <QSqlQuery>

using namespace Talvori;

namespace {

QList<qint64> idsOf(const QList<PimItem> &items)
{
    QList<qint64> ids;
    ids.reserve(items.size());
    for (const PimItem &item : items)
        ids.append(item.id());
    return ids;
}

QVariantList flagIdList(const QList<Flag> &flags)
{
    QVariantList ids;
    ids.reserve(flags.size());
    for (const Flag &flag : flags)
        ids.append(flag.id());
    return ids;
}

} // namespace

PimItemSet::PimItemSet(const QList<qint64> &ids)
    : m_pieces(QueryHelper::idPieces(ids))
{
}

PimItemSet::PimItemSet(const QList<PimItem> &items)
    : PimItemSet(idsOf(items))
{
}

bool PimItemSet::addFlag(const Flag &flag, bool skipExisting) const
{
    for (const ImapSet &piece : m_pieces) {
        // INSERT INTO the relation SELECT the items' ids and the flag's: one statement for all of
        // them. The flag's id is a number from the database, written into the text.
        QueryBuilder qb(PimItem::tableName());
        qb.setInsertInto(PimItemFlagRelation::tableName(),
                         {PimItemFlagRelation::leftColumn(), PimItemFlagRelation::rightColumn()});
        qb.addColumns({PimItem::idFullColumnName(), QString::number(flag.id())});
        if (skipExisting) {
            Query::Condition existing;
            existing.addColumnCondition(PimItemFlagRelation::leftFullColumnName(), Query::Equals,
                                        PimItem::idFullColumnName());
            existing.addValueCondition(PimItemFlagRelation::rightFullColumnName(), Query::Equals, flag.id());
            qb.addJoin(QueryBuilder::LeftJoin, PimItemFlagRelation::tableName(), existing);
            qb.addValueCondition(PimItemFlagRelation::leftFullColumnName(), Query::Is, QVariant());
        }
        QueryHelper::setToQuery(piece, PimItem::idFullColumnName(), qb);
        if (!qb.exec())
            return false;
    }
    return true;
}

bool PimItemSet::removeFlags(const QList<Flag> &flags) const
{
    if (flags.isEmpty())
        return true;
    for (const ImapSet &piece : m_pieces) {
        QueryBuilder qb(PimItemFlagRelation::tableName(), QueryBuilder::DeleteStatement);
        qb.addValueCondition(PimItemFlagRelation::rightColumn(), Query::In, flagIdList(flags));
        QueryHelper::setToQuery(piece, PimItemFlagRelation::leftColumn(), qb);
        if (!qb.exec())
            return false;
    }
    return true;
}

bool PimItemSet::clearFlags() const
{
    for (const ImapSet &piece : m_pieces) {
        QueryBuilder qb(PimItemFlagRelation::tableName(), QueryBuilder::DeleteStatement);
        QueryHelper::setToQuery(piece, PimItemFlagRelation::leftColumn(), qb);
        if (!qb.exec())
            return false;
    }
    return true;
}

bool PimItemSet::flagIds(QHash<qint64, QList<qint64>> &flagIds, const QList<Flag> &onlyFlags) const
{
    flagIds.clear();
    for (const ImapSet &piece : m_pieces) {
        QueryBuilder qb(PimItemFlagRelation::tableName());
        qb.addColumns({PimItemFlagRelation::leftColumn(), PimItemFlagRelation::rightColumn()});
        if (!onlyFlags.isEmpty())
            qb.addValueCondition(PimItemFlagRelation::rightColumn(), Query::In, flagIdList(onlyFlags));
        QueryHelper::setToQuery(piece, PimItemFlagRelation::leftColumn(), qb);
        qb.addSortColumn(PimItemFlagRelation::leftColumn());
        qb.addSortColumn(PimItemFlagRelation::rightColumn());
        qb.query().setForwardOnly(true);
        if (!qb.exec())
            return false;
        QSqlQuery &query = qb.query();
        while (query.next())
            flagIds[query.value(0).toLongLong()].append(query.value(1).toLongLong());
    }
    return true;
}

bool PimItemSet::flagNames(QHash<qint64, QList<QByteArray>> &names) const
{
    names.clear();
    QHash<qint64, QList<qint64>> ids;
    if (!flagIds(ids))
        return false;
    // A few flags serve many items: each name comes from the flag records once.
    QHash<qint64, QByteArray> nameOf;
    for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
        QList<QByteArray> &itemNames = names[it.key()];
        itemNames.reserve(it->size());
        for (qint64 id : *it) {
            auto name = nameOf.constFind(id);
            if (name == nameOf.constEnd())
                name = nameOf.insert(id, Flag::retrieveById(id).name().toUtf8());
            itemNames.append(*name);
        }
    }
    return true;
}

bool PimItemSet::markChanged(const QDateTime &time, bool markDirty) const
{
    for (const ImapSet &piece : m_pieces) {
        QueryBuilder qb(PimItem::tableName(), QueryBuilder::UpdateStatement);
        qb.setColumnValue(PimItem::datetimeColumn(), time);
        qb.setColumnValue(PimItem::atimeColumn(), time);
        if (markDirty)
            qb.setColumnValue(PimItem::dirtyColumn(), true);
        qb.setColumnExpression(PimItem::revColumn(), PimItem::revColumn() + QLatin1String(" + 1"));
        QueryHelper::setToQuery(piece, PimItem::idColumn(), qb);
        if (!qb.exec())
            return false;
    }
    // The statements bypassed the records.
    PimItem::invalidateCompleteCache();
    return true;
}

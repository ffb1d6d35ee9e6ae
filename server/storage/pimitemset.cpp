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
    return readFlags(false, onlyFlags, [&flagIds](const QSqlQuery &row) {
        flagIds[row.value(0).toLongLong()].append(row.value(1).toLongLong());
    });
}

bool PimItemSet::flagNames(QHash<qint64, QList<QByteArray>> &names) const
{
    names.clear();
    return readFlags(true, {}, [&names](const QSqlQuery &row) {
        names[row.value(0).toLongLong()].append(Entity::stringFromVariant(row.value(1)).toUtf8());
    });
}

bool PimItemSet::readFlags(bool names, const QList<Flag> &onlyFlags,
                           const std::function<void(const QSqlQuery &)> &handleRow) const
{
    for (const ImapSet &piece : m_pieces) {
        QueryBuilder qb(PimItemFlagRelation::tableName());
        QString flagColumn = PimItemFlagRelation::rightFullColumnName();
        if (names) {
            qb.addJoin(QueryBuilder::InnerJoin, Flag::tableName(), Flag::idFullColumnName(),
                       PimItemFlagRelation::rightFullColumnName());
            flagColumn = Flag::nameFullColumnName();
        }
        qb.addColumns({PimItemFlagRelation::leftFullColumnName(), flagColumn});
        if (!onlyFlags.isEmpty())
            qb.addValueCondition(PimItemFlagRelation::rightFullColumnName(), Query::In, flagIdList(onlyFlags));
        QueryHelper::setToQuery(piece, PimItemFlagRelation::leftFullColumnName(), qb);
        qb.addSortColumn(PimItemFlagRelation::leftFullColumnName());
        qb.addSortColumn(PimItemFlagRelation::rightFullColumnName());
        qb.query().setForwardOnly(true);
        if (!qb.exec())
            return false;
        while (qb.query().next())
            handleRow(qb.query());
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

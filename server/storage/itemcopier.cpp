#include "storage/itemcopier.h"

#include "common/log.h"
#include "storage/datastore.h"
#include "storage/dbconfig.h"
#include "storage/notificationcollector.h"
#include "storage/parthelper.h"
#include "storage/queryhelper.h"
#include "storage/selectquerybuilder.h"

#include <imapset.h>

#include <QDateTime>
#include <QSqlQuery>

#include <algorithm>

using namespace Talvori;

namespace {

const QString hiddenPart = QStringLiteral("ATR:HIDDEN");

// The condition that selects the parts a row-for-row copy keeps as they are: in a row now and
// under today's threshold still.
void addKeptInRowCondition(QueryBuilder &qb, bool keptInRow)
{
    const DbConfig *config = DbConfig::configuredDatabase();
    Query::Condition inRow(Query::And);
    inRow.addValueCondition(Part::externalFullColumnName(), Query::Equals, false);
    if (config->useExternalPayloadFile())
        inRow.addValueCondition(Part::datasizeFullColumnName(), Query::LessOrEqual, config->sizeThreshold());
    if (keptInRow) {
        qb.addCondition(inRow);
        return;
    }
    Query::Condition elsewhere(Query::Or);
    elsewhere.addValueCondition(Part::externalFullColumnName(), Query::Equals, true);
    if (config->useExternalPayloadFile())
        elsewhere.addValueCondition(Part::datasizeFullColumnName(), Query::Greater, config->sizeThreshold());
    qb.addCondition(elsewhere);
}

QString shifted(const QString &column, qint64 offset)
{
    return QStringLiteral("%1 + %2").arg(column).arg(offset);
}

} // namespace

ItemCopier::ItemCopier(DataStore *store)
    : m_store(store)
{
}

bool ItemCopier::copy(const QList<PimItem> &items, const Collection &target)
{
    m_sources.clear();
    QList<qint64> ids;
    ids.reserve(items.size());
    for (const PimItem &item : items) {
        m_sources.insert(item.id(), item);
        ids.append(item.id());
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const ImapSet &piece : QueryHelper::idPieces(ids)) {
        QHash<qint64, qint64> copies;
        if (!insertItems(piece, target, copies))
            return false;

        QList<qint64> sources = copies.keys();
        std::sort(sources.begin(), sources.end());
        QList<Run> runs;
        for (const qint64 source : std::as_const(sources)) {
            const qint64 offset = copies.value(source) - source;
            if (!runs.isEmpty() && runs.last().lastSource == source - 1 && runs.last().offset == offset)
                runs.last().lastSource = source;
            else
                runs.append(Run{source, source, offset});
        }
        for (const Run &run : std::as_const(runs)) {
            if (!copyRun(run, now))
                return false;
        }
        if (!copyPartsOneByOne(piece, copies))
            return false;

        for (const qint64 source : std::as_const(sources)) {
            const PimItem &original = m_sources[source];
            PimItem copy(copies.value(source), 0, QString(), QString(), target.id(), original.mimeTypeId(), now, now,
                         true, original.size());
            m_store->notificationCollector()->notifyItemAdded(copy, target, original.mimeType().name());
        }
    }
    return true;
}

bool ItemCopier::insertItems(const ImapSet &sources, const Collection &target, QHash<qint64, qint64> &copies)
{
    // A copy has no remote identifier or revision (their columns stay NULL) and has yet to reach
    // its resource. The times are set per run afterwards: a bound value in the selected columns
    // has no type some databases could go by.
    QueryBuilder select(PimItem::tableName());
    select.addColumns({QStringLiteral("0"), QString::number(target.id()), PimItem::mimeTypeIdFullColumnName(),
                       PimItem::datetimeFullColumnName(), PimItem::atimeFullColumnName(), QStringLiteral("TRUE"),
                       PimItem::sizeFullColumnName()});
    QueryHelper::setToQuery(sources, PimItem::idFullColumnName(), select);
    select.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    const QStringList columns{PimItem::revColumn(),       PimItem::collectionIdColumn(), PimItem::mimeTypeIdColumn(),
                              PimItem::datetimeColumn(),  PimItem::atimeColumn(),        PimItem::dirtyColumn(),
                              PimItem::sizeColumn()};
    const QStringList returned{PimItem::idColumn(), PimItem::mimeTypeIdColumn(), PimItem::sizeColumn()};
    // MySQL's prepared statements do not hand back what RETURNING gives: there the statement's
    // first id and its count name the rows, which one statement numbers without gaps.
    const bool mysql = select.databaseType() == QueryBuilder::MySQL;
    select.setInsertInto(PimItem::tableName(), columns, mysql ? QStringList() : returned);
    if (!select.exec())
        return false;
    QueryBuilder made(PimItem::tableName());
    if (mysql) {
        const qint64 first = select.query().lastInsertId().toLongLong();
        made.addColumns(returned);
        made.addValueCondition(PimItem::idColumn(), Query::GreaterOrEqual, first);
        made.addValueCondition(PimItem::idColumn(), Query::Less, first + select.query().numRowsAffected());
        made.addValueCondition(PimItem::collectionIdColumn(), Query::Equals, target.id());
        if (!made.exec())
            return false;
    }
    QSqlQuery &query = mysql ? made.query() : select.query();

    // Rows are inserted in the order selected and take ascending ids as they go: the n-th lowest
    // new id belongs to the n-th lowest source. Type and size tell if that ever did not hold.
    QList<std::tuple<qint64, qint64, qint64>> inserted;
    while (query.next())
        inserted.append({query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toLongLong()});
    std::sort(inserted.begin(), inserted.end());
    QList<qint64> ids;
    for (const ImapInterval &interval : sources.intervals()) {
        for (qint64 id = interval.begin(); id <= interval.end(); ++id) {
            if (m_sources.contains(id))
                ids.append(id);
        }
    }
    if (ids.size() != inserted.size()) {
        logError() << "Copying" << ids.size() << "items made" << inserted.size() << "copies";
        return false;
    }
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const PimItem &source = m_sources[ids.at(i)];
        const auto &[copy, mimeTypeId, size] = inserted.at(i);
        if (mimeTypeId != source.mimeTypeId() || size != source.size()) {
            logError() << "The copy" << copy << "does not match item" << source.id() << "it was made from";
            return false;
        }
        copies.insert(source.id(), copy);
    }
    return true;
}

bool ItemCopier::copyRun(const Run &run, const QDateTime &now)
{
    QueryBuilder times(PimItem::tableName(), QueryBuilder::UpdateStatement);
    times.setColumnValue(PimItem::datetimeColumn(), now);
    times.setColumnValue(PimItem::atimeColumn(), now);
    times.addValueCondition(PimItem::idColumn(), Query::GreaterOrEqual, run.firstSource + run.offset);
    times.addValueCondition(PimItem::idColumn(), Query::LessOrEqual, run.lastSource + run.offset);
    if (!times.exec())
        return false;

    QueryBuilder parts(Part::tableName());
    parts.addColumns({shifted(Part::pimItemIdFullColumnName(), run.offset), Part::nameFullColumnName(),
                      Part::dataFullColumnName(), Part::datasizeFullColumnName(), Part::versionFullColumnName(),
                      Part::externalFullColumnName()});
    parts.addValueCondition(Part::pimItemIdFullColumnName(), Query::GreaterOrEqual, run.firstSource);
    parts.addValueCondition(Part::pimItemIdFullColumnName(), Query::LessOrEqual, run.lastSource);
    parts.addValueCondition(Part::nameFullColumnName(), Query::NotEquals, hiddenPart);
    addKeptInRowCondition(parts, true);
    parts.setInsertInto(Part::tableName(), {Part::pimItemIdColumn(), Part::nameColumn(), Part::dataColumn(),
                                            Part::datasizeColumn(), Part::versionColumn(), Part::externalColumn()});
    if (!parts.exec())
        return false;

    QueryBuilder flags(PimItemFlagRelation::tableName());
    flags.addColumns({shifted(PimItemFlagRelation::leftFullColumnName(), run.offset),
                      PimItemFlagRelation::rightFullColumnName()});
    flags.addValueCondition(PimItemFlagRelation::leftFullColumnName(), Query::GreaterOrEqual, run.firstSource);
    flags.addValueCondition(PimItemFlagRelation::leftFullColumnName(), Query::LessOrEqual, run.lastSource);
    flags.setInsertInto(PimItemFlagRelation::tableName(),
                        {PimItemFlagRelation::leftColumn(), PimItemFlagRelation::rightColumn()});
    return flags.exec();
}

bool ItemCopier::copyPartsOneByOne(const ImapSet &sources, const QHash<qint64, qint64> &copies)
{
    SelectQueryBuilder<Part> qb;
    QueryHelper::setToQuery(sources, Part::pimItemIdFullColumnName(), qb);
    qb.addValueCondition(Part::nameFullColumnName(), Query::NotEquals, hiddenPart);
    addKeptInRowCondition(qb, false);
    qb.addSortColumn(Part::idFullColumnName(), Query::Ascending);
    if (!qb.exec())
        return false;
    const QList<Part> parts = qb.result();
    for (const Part &part : parts) {
        Part copy;
        copy.setPimItemId(copies.value(part.pimItemId()));
        copy.setName(part.name());
        copy.setVersion(part.version());
        if (!PartHelper::insertCopy(&copy, part))
            return false;
    }
    return true;
}

#include "storage/queryhelper.h"

#include "storage/querybuilder.h"

#include <algorithm>
#include <limits>

namespace QueryHelper {

void setToQuery(const ImapSet &set, const QString &column, QueryBuilder &qb)
{
    Query::Condition condition(Query::Or);
    QVariantList listed;
    for (const ImapInterval &interval : set.intervals()) {
        if (interval.hasDefinedBegin() && interval.hasDefinedEnd()) {
            if (interval.size() <= MaxListedInterval) {
                for (qint64 id = interval.begin(); id <= interval.end(); ++id)
                    listed.append(id);
            } else if (interval.begin() != 1) {
                Query::Condition range(Query::And);
                range.addValueCondition(column, Query::GreaterOrEqual, interval.begin());
                range.addValueCondition(column, Query::LessOrEqual, interval.end());
                condition.addCondition(range);
            } else {
                condition.addValueCondition(column, Query::LessOrEqual, interval.end());
            }
        } else if (interval.hasDefinedBegin()) {
            if (interval.begin() != 1) {
                condition.addValueCondition(column, Query::GreaterOrEqual, interval.begin());
            }
        } else if (interval.hasDefinedEnd()) {
            condition.addValueCondition(column, Query::LessOrEqual, interval.end());
        }
    }
    if (listed.size() == 1) {
        condition.addValueCondition(column, Query::Equals, listed.first());
    } else if (!listed.isEmpty()) {
        condition.addValueCondition(column, Query::In, listed);
    }
    if (!condition.isEmpty()) {
        qb.addCondition(condition);
    }
}

QList<ImapSet> splitSet(const ImapSet &set, int maxIntervals)
{
    if (set.isEmpty())
        return {};
    if (set.intervals().size() <= maxIntervals)
        return {set};

    // As closed ranges, the open end "*" as the largest id, sorted and merged where they touch.
    constexpr qint64 openEnd = std::numeric_limits<qint64>::max();
    QList<std::pair<qint64, qint64>> ranges;
    ranges.reserve(set.intervals().size());
    for (const ImapInterval &interval : set.intervals()) {
        const qint64 low = interval.hasDefinedBegin() ? interval.begin() : 1;
        const qint64 high = interval.hasDefinedEnd() ? interval.end() : openEnd;
        if (low <= high)
            ranges.append({low, high});
    }
    std::sort(ranges.begin(), ranges.end());
    QList<std::pair<qint64, qint64>> merged;
    for (const auto &range : std::as_const(ranges)) {
        if (!merged.isEmpty() && (merged.last().second == openEnd || range.first <= merged.last().second + 1))
            merged.last().second = std::max(merged.last().second, range.second);
        else
            merged.append(range);
    }

    QList<ImapSet> pieces;
    ImapSet piece;
    int inPiece = 0;
    for (const auto &[low, high] : std::as_const(merged)) {
        piece.add(ImapInterval(low, high == openEnd ? 0 : high));
        if (++inPiece == maxIntervals) {
            pieces.append(std::exchange(piece, ImapSet()));
            inPiece = 0;
        }
    }
    if (inPiece > 0)
        pieces.append(piece);
    return pieces;
}

QList<ImapSet> idPieces(const QList<qint64> &ids, int maxIntervals)
{
    ImapSet set;
    set.add(ids);
    return splitSet(set, maxIntervals);
}

} // namespace QueryHelper

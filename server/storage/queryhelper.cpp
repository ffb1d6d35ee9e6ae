#include "storage/queryhelper.h"

#include "storage/querybuilder.h"

#include <imapset.h>

namespace QueryHelper {

void setToQuery(const ImapSet &set, const QString &column, QueryBuilder &qb)
{
    Query::Condition condition(Query::Or);
    for (const ImapInterval &interval : set.intervals()) {
        if (interval.hasDefinedBegin() && interval.hasDefinedEnd()) {
            if (interval.size() == 1) {
                condition.addValueCondition(column, Query::Equals, interval.begin());
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
    if (!condition.isEmpty()) {
        qb.addCondition(condition);
    }
}

} // namespace QueryHelper

#ifndef TALVORI_QUERYHELPER_H
#define TALVORI_QUERYHELPER_H

#include <QString>

class ImapSet;
class QueryBuilder;

namespace QueryHelper {

// Adds a condition that selects the ids of a sequence set in column. The set 1:* adds nothing: it
// means every row.
void setToQuery(const ImapSet &set, const QString &column, QueryBuilder &qb);

} // namespace QueryHelper

#endif

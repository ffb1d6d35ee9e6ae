#ifndef TALVORI_QUERYHELPER_H
#define TALVORI_QUERYHELPER_H

#include <QList>
#include <QString>

#include <imapset.h>

class QueryBuilder;

namespace QueryHelper {

// Adds a condition that selects the ids of a sequence set in column. The set 1:* adds nothing: it
// means every row.
void setToQuery(const ImapSet &set, const QString &column, QueryBuilder &qb);

// Intervals of at most this many ids go into one list of ids ("id IN (...)"), longer ones become
// comparisons. Every database looks a list up through the primary key, where SQLite answers a long
// chain of OR terms in a statement with joins (FETCH of the scattered items a search found) by
// reading the whole table once for each statement.
constexpr qint64 MaxListedInterval = 8;

// How many intervals of a set one statement takes: databases bound the placeholders of a statement
// (SQLite 32766, MariaDB and PostgreSQL 65535) and SQLite the depth of its expressions (1000),
// which a condition of one term per interval reaches first; listed intervals take at most
// MaxListedInterval placeholders each.
constexpr int MaxIntervalsPerStatement = 500;

// The set in pieces of at most maxIntervals intervals that select together what the set selects,
// each piece above the one before, so that statements run piece by piece still list ids in
// ascending order and each once. A set that fits is its own only piece; an empty set has none
// (where setToQuery would select every row).
QList<ImapSet> splitSet(const ImapSet &set, int maxIntervals = MaxIntervalsPerStatement);
// The ids (in any order, repeats allowed) as such pieces, runs of consecutive ids as one interval.
QList<ImapSet> idPieces(const QList<qint64> &ids, int maxIntervals = MaxIntervalsPerStatement);

} // namespace QueryHelper

#endif

#ifndef TALVORI_LOCALQUERY_H
#define TALVORI_LOCALQUERY_H

#include <xapian.h>

#include <QList>
#include <QString>

// A query of the local search index, in Xapian's query parser syntax with the fields of
// LocalSearchSchema: words (stemmed, "mails" finds "mail"; all of them must match unless OR is
// written), "phrases in quotes", AND, OR, NOT, NEAR, +required and -excluded words, prefix*
// wildcards, brackets, field:word and date ranges.
class LocalQuery
{
public:
    // Parses text; false with "Invalid query: " and Xapian's message in *error when it is not a
    // query.
    bool parse(const QString &text, QString *error);
    const Xapian::Query &query() const { return m_query; }

    // The ids of the items the query finds in the database, ascending. Xapian's exceptions pass
    // through: a wildcard that stands for too many words (Xapian::WildcardError), a database that
    // changed too much while it was read (Xapian::DatabaseModifiedError), a damaged one.
    QList<qint64> matches(const Xapian::Database &database) const;
    // The same among the given items only.
    QList<qint64> matchesAmong(const Xapian::Database &database, const QList<qint64> &itemIds) const;

    // The exact term that names an item's document, for filters.
    static std::string itemTerm(qint64 itemId);

private:
    Xapian::Query m_query;
};

#endif

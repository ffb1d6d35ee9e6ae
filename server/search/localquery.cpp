#include "localquery.h"

#include "search/localsearchschema.h"

namespace {

// A prefix* wildcard stands for at most this many words; more is an error, not a slow query.
constexpr Xapian::termcount MaxWildcardExpansion = 10000;

QList<qint64> run(const Xapian::Database &database, const Xapian::Query &query)
{
    QList<qint64> ids;
    if (query.empty())
        return ids;
    Xapian::Enquire enquire(database);
    enquire.set_query(query);
    // The answer is a set of items in id order; weighing them would only cost time, and with equal
    // weights the matches come in document id order, which is item id order.
    enquire.set_weighting_scheme(Xapian::BoolWeight());
    enquire.set_docid_order(Xapian::Enquire::ASCENDING);
    const Xapian::MSet matches = enquire.get_mset(0, database.get_doccount());
    ids.reserve(matches.size());
    for (auto it = matches.begin(); it != matches.end(); ++it)
        ids.append(qint64(*it));
    return ids;
}

} // namespace

bool LocalQuery::parse(const QString &text, QString *error)
{
    using namespace LocalSearchSchema;
    // Declared first: the parser refers to it until the parser is gone.
    Xapian::DateRangeProcessor dates(DateSlot, "date:");
    Xapian::QueryParser parser;
    parser.set_stemmer(Xapian::Stem(StemLanguage));
    parser.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
    // Every word must be there unless OR says otherwise, as in any mail search.
    parser.set_default_op(Xapian::Query::OP_AND);
    parser.set_max_expansion(MaxWildcardExpansion, Xapian::Query::WILDCARD_LIMIT_ERROR);
    for (const TextField &field : textFields())
        parser.add_prefix(field.word, field.prefix);
    for (const BooleanField &field : booleanFields())
        parser.add_boolean_prefix(field.word, field.prefix);
    // Words without a field: the unprefixed copy of the fields, and the body.
    parser.add_prefix(std::string(), std::string());
    parser.add_prefix(std::string(), bodyPrefix());
    parser.add_rangeprocessor(&dates);
    const unsigned flags = Xapian::QueryParser::FLAG_DEFAULT | Xapian::QueryParser::FLAG_WILDCARD
                           | Xapian::QueryParser::FLAG_CJK_NGRAM;
    try {
        m_query = parser.parse_query(text.toStdString(), flags);
    } catch (const Xapian::Error &e) {
        if (error)
            *error = QStringLiteral("Invalid query: ") + QString::fromStdString(e.get_msg());
        return false;
    }
    return true;
}

QList<qint64> LocalQuery::matches(const Xapian::Database &database) const
{
    return run(database, m_query);
}

QList<qint64> LocalQuery::matchesAmong(const Xapian::Database &database, const QList<qint64> &itemIds) const
{
    std::vector<std::string> terms;
    terms.reserve(itemIds.size());
    for (const qint64 id : itemIds)
        terms.push_back(itemTerm(id));
    const Xapian::Query among(Xapian::Query::OP_OR, terms.begin(), terms.end());
    return run(database, Xapian::Query(Xapian::Query::OP_FILTER, m_query, among));
}

std::string LocalQuery::itemTerm(qint64 itemId)
{
    return "Q" + std::to_string(itemId);
}

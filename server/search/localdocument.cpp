#include "localdocument.h"

#include "search/localquery.h"
#include "search/localsearchschema.h"

#include <QDateTime>

using namespace LocalSearchSchema;

namespace {

std::string collectionTerm(qint64 collectionId)
{
    return booleanPrefix("collection") + std::to_string(collectionId);
}

} // namespace

std::string LocalDocument::encodeState(const State &state)
{
    return std::to_string(state.revision) + ':' + std::to_string(state.collectionId);
}

LocalDocument::State LocalDocument::decodeState(const std::string &value)
{
    const QByteArray text = QByteArray::fromStdString(value);
    const qsizetype colon = text.indexOf(':');
    bool revisionOk = false;
    bool collectionOk = false;
    State state;
    state.revision = text.left(colon).toInt(&revisionOk);
    state.collectionId = text.mid(colon + 1).toLongLong(&collectionOk);
    if (colon < 0 || !revisionOk || !collectionOk)
        return State();
    return state;
}

LocalDocument::LocalDocument()
{
    m_generator.set_stemmer(Xapian::Stem(StemLanguage));
    m_generator.set_stemming_strategy(Xapian::TermGenerator::STEM_SOME);
    // Scripts without spaces between words (Chinese, Japanese, Korean) are indexed as character
    // n-grams, which the query parser makes of their words as well.
    m_generator.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
}

Xapian::Document LocalDocument::make(qint64 itemId, const State &state, const QString &mimeType, const PimText &text)
{
    Xapian::Document document;
    m_generator.set_document(document);
    const QList<PimText::Entry> entries = text.entries();
    for (const PimText::Entry &entry : entries) {
        const TextField *field = textFieldFor(entry.field);
        const std::string words = entry.text.toStdString();
        if (!field) {
            document.add_boolean_term(booleanTerm(booleanPrefix("msgid"), entry.text.trimmed()));
            continue;
        }
        m_generator.index_text(words, 1, field->prefix);
        if (field->freeText)
            m_generator.index_text(words);
        // No phrase runs from one field into the next.
        m_generator.increase_termpos();
    }
    document.add_boolean_term(LocalQuery::itemTerm(itemId));
    document.add_boolean_term(booleanTerm(booleanPrefix("mimetype"), mimeType));
    document.add_boolean_term(collectionTerm(state.collectionId));
    // The day as the user sees it, in the local time zone, whatever zone the sender wrote.
    if (text.date().isValid())
        document.add_value(DateSlot, text.date().toLocalTime().toString(QStringLiteral("yyyyMMdd")).toStdString());
    document.add_value(StateSlot, encodeState(state));
    return document;
}

void LocalDocument::restate(Xapian::Document &document, const State &state)
{
    const State old = decodeState(document.get_value(StateSlot));
    if (old.collectionId != state.collectionId) {
        try {
            document.remove_term(collectionTerm(old.collectionId));
        } catch (const Xapian::InvalidArgumentError &) {
            // Not there: nothing to take away.
        }
        document.add_boolean_term(collectionTerm(state.collectionId));
    }
    document.add_value(StateSlot, encodeState(state));
}

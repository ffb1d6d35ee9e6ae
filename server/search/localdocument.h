#ifndef TALVORI_LOCALDOCUMENT_H
#define TALVORI_LOCALDOCUMENT_H

#include <pimtext.h>

#include <xapian.h>

#include <QString>

#include <string>

// Makes the documents of the local search index (layout: LocalSearchSchema). One object per
// indexing thread: it keeps Xapian's term generator, which is not shared.
class LocalDocument
{
public:
    // What a document was made from, kept in it: when the item's revision or collection in the
    // store differs, the document is out of date.
    struct State {
        int revision = -1;
        qint64 collectionId = -1;
        bool operator==(const State &other) const = default;
    };
    static std::string encodeState(const State &state);
    // An invalid state (revision -1) for a value that is none.
    static State decodeState(const std::string &value);

    LocalDocument();

    // The document of an item: the words of each field under its prefix (and without one for the
    // free-text fields), the body under its own, the item's exact terms (its id, collection, MIME
    // type, Message-ID) and its date and state.
    Xapian::Document make(qint64 itemId, const State &state, const QString &mimeType, const PimText &text);

    // The same words under a new collection and state: for an item that moved or changed without
    // new text the index could read (payload no longer cached).
    static void restate(Xapian::Document &document, const State &state);

private:
    Xapian::TermGenerator m_generator;
};

#endif

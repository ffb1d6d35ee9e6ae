#ifndef TALVORI_SEARCHMANAGER_H
#define TALVORI_SEARCHMANAGER_H

#include <QList>
#include <QObject>
#include <QStringList>

class AbstractSearchEngine;
class DataStore;

namespace Talvori {
class Collection;
}

// The process-wide owner of the search engines, which keep persistent searches up to date. It and
// its engines live on the main thread: requests from any thread are queued to it and handed to
// every engine in turn, one at a time, in the order they were made.
//
// Commands reach it through the static functions, inside their transaction: the engines hear of
// a search only once that transaction's outermost commit succeeded, and never of one a rollback
// took back.
class SearchManager : public QObject
{
    Q_OBJECT
public:
    // One engine per word, in their order: "Sorvani", "Agent", "Xesam", "Local"; an unknown word
    // is logged and skipped.
    explicit SearchManager(const QStringList &engineWords, QObject *parent = nullptr);
    ~SearchManager() override;

    // The manager while it exists (it is made before the first client connects and deleted after
    // the last connection ended), else null.
    static SearchManager *instance();

    // False, with nothing queued, when the collection has no query string or no query language.
    bool addSearch(const Talvori::Collection &collection);
    bool removeSearch(qint64 collectionId);

    // With the word "Local", SEARCH runs in the server's own index and SEARCH_STORE makes
    // searches of its query language; otherwise both go to the semantic query service. Set at
    // construction, read by any thread.
    bool usesLocalIndex() const { return m_usesLocalIndex; }
    // The query language SEARCH_STORE gives a new persistent search: the local index's when
    // there is a manager that uses it, else "SPARQL".
    static QString newSearchLanguage();
    // Whether a search of that language can run its query; false with the reason when the
    // language is the local index's and the query is not one. Other languages are not checked.
    static bool checkQuery(const QString &queryLanguage, const QString &query, QString *error);

    // A new persistent search (SEARCH_STORE): the engines start it after db's commit. False when
    // it cannot be handed over (nothing to run, or no manager).
    static bool addSearchAfterCommit(const Talvori::Collection &collection, DataStore *db);
    // The query of a search collection changed (MODIFY): its links go now, within db's
    // transaction, each announced as unlinked; after the commit the engines drop the old search
    // and start the new one.
    static void updateSearch(const Talvori::Collection &collection, DataStore *db);
    // The collection goes (DELETE): after db's commit the engines stop its search.
    static void removeSearchAfterCommit(qint64 collectionId, DataStore *db);

private:
    void addLocalEngine();
    void addSearchInternal(const Talvori::Collection &collection);
    void removeSearchInternal(qint64 collectionId);

    // Owned; main thread only.
    QList<AbstractSearchEngine *> m_engines;
    bool m_usesLocalIndex = false;
};

#endif

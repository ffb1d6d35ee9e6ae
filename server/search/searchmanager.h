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
    // One engine per word, in their order: "Sorvani", "Agent", "Xesam"; an unknown word is logged
    // and skipped.
    explicit SearchManager(const QStringList &engineWords, QObject *parent = nullptr);
    ~SearchManager() override;

    // The manager while it exists (it is made before the first client connects and deleted after
    // the last connection ended), else null.
    static SearchManager *instance();

    // False, with nothing queued, when the collection has no query string or no query language.
    bool addSearch(const Talvori::Collection &collection);
    bool removeSearch(qint64 collectionId);

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
    void addSearchInternal(const Talvori::Collection &collection);
    void removeSearchInternal(qint64 collectionId);

    // Owned; main thread only.
    QList<AbstractSearchEngine *> m_engines;
};

#endif

#ifndef TALVORI_LOCALINDEXER_H
#define TALVORI_LOCALINDEXER_H

#include "search/localindexwriter.h"
#include "storage/entities.h"

#include <QList>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

class LocalSearches;

// The thread that keeps the local search index: at its start it opens the index (a new one where
// there is none, or it is damaged), brings it in line with the store in the background (progress
// in the error log) and starts the persistent searches; then it indexes the items it is told of,
// in batches, and keeps the searches' links up to date. Others only hand it item ids and search
// requests (any thread, never waiting for it); it reads the items through its own data store. Its
// work survives nothing: what a stop or a crash leaves undone is found again at the next start.
class LocalIndexer : public QThread
{
    Q_OBJECT
public:
    explicit LocalIndexer(QObject *parent = nullptr);
    // Stops the thread and waits for it.
    ~LocalIndexer() override;

    void itemsChanged(const LocalIndexWriter::Changes &changes);
    // Requests are carried out in the order they were made.
    void addSearch(const Talvori::Collection &collection);
    void removeSearch(qint64 collectionId);
    // Ends the thread after the batch it is working on (committed); wait() for it.
    void stop();

protected:
    void run() override;

private:
    struct SearchRequest {
        Talvori::Collection collection; // invalid for a removal
        qint64 collectionId = -1;
    };
    // Waits for work; false when the thread is to stop.
    bool takeWork(LocalIndexWriter::Changes *changes, QList<SearchRequest> *requests, bool wait);
    bool stopping();
    // Indexes what the index lacks; false when the thread is to stop meanwhile.
    bool catchUp(LocalIndexWriter &writer, LocalSearches &searches);
    // Serves the changes and requests as they come until the thread is to stop (true) or the
    // index turned out damaged (false, with the error in *damage).
    bool serve(LocalIndexWriter &writer, LocalSearches &searches, QString *damage);
    void indexBatches(LocalIndexWriter &writer, LocalSearches &searches, const LocalIndexWriter::Changes &changes);

    QMutex m_mutex; // guards the members below
    QWaitCondition m_work;
    LocalIndexWriter::Changes m_changes;
    QList<SearchRequest> m_requests;
    bool m_stopping = false;
};

#endif

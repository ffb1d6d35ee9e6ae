#ifndef TALVORI_LOCALSEARCHENGINE_H
#define TALVORI_LOCALSEARCHENGINE_H

#include "search/abstractsearchengine.h"

#include <notificationmessage.h>

#include <QObject>

class LocalIndexer;

// The server's own full-text search: keeps the local index (LocalIndexer, a thread of its own) in
// step with the store as the committed changes are announced, and runs the persistent searches of
// query language "XAPIAN" on it. Lives on the main thread; it only passes item ids and search
// requests on, so neither a command nor the main thread ever waits for the index.
class LocalSearchEngine : public QObject, public AbstractSearchEngine
{
    Q_OBJECT
public:
    explicit LocalSearchEngine(QObject *parent = nullptr);
    // Stops the indexing thread after the batch it is working on.
    ~LocalSearchEngine() override;

    void addSearch(const Talvori::Collection &collection) override;
    void removeSearch(qint64 collectionId) override;

private:
    void notified(const NotificationMessage::List &messages);

    LocalIndexer *m_indexer;
};

#endif

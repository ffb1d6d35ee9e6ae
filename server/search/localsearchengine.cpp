#include "localsearchengine.h"

#include "search/localindexer.h"
#include "search/localsearchschema.h"
#include "services/notificationmanager.h"
#include "storage/entities.h"

using Change = LocalIndexWriter::Change;

namespace {

// Whether a modification reaches the item's text: a payload part changed, or the record does not
// say what changed.
bool touchesPayload(const NotificationMessage &message)
{
    const QSet<QByteArray> parts = message.itemParts();
    if (parts.isEmpty())
        return true;
    for (const QByteArray &part : parts) {
        if (part.startsWith("PLD:"))
            return true;
    }
    return false;
}

} // namespace

LocalSearchEngine::LocalSearchEngine(QObject *parent)
    : QObject(parent)
    , m_indexer(new LocalIndexer(this))
{
    // Announced changes are committed ones; a rolled back change never reaches the index.
    connect(NotificationManager::self(), &NotificationManager::notify, this, &LocalSearchEngine::notified);
    m_indexer->start(QThread::LowPriority);
}

LocalSearchEngine::~LocalSearchEngine()
{
    delete m_indexer;
}

void LocalSearchEngine::addSearch(const Talvori::Collection &collection)
{
    if (collection.queryLanguage() == LocalSearchSchema::QueryLanguage)
        m_indexer->addSearch(collection);
}

void LocalSearchEngine::removeSearch(qint64 collectionId)
{
    m_indexer->removeSearch(collectionId);
}

void LocalSearchEngine::notified(const NotificationMessage::List &messages)
{
    LocalIndexWriter::Changes changes;
    for (const NotificationMessage &message : messages) {
        if (message.type() != NotificationMessage::Item)
            continue;
        Change change;
        switch (message.operation()) {
        case NotificationMessage::Add:
        case NotificationMessage::Remove:
            change = Change::Content;
            break;
        case NotificationMessage::Modify:
            change = touchesPayload(message) ? Change::Content : Change::Metadata;
            break;
        case NotificationMessage::Move:
            change = Change::Metadata;
            break;
        default:
            // Links of search collections do not change an item.
            continue;
        }
        LocalIndexWriter::add(changes, message.uid(), change);
    }
    if (!changes.isEmpty())
        m_indexer->itemsChanged(changes);
}

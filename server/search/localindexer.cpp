#include "localindexer.h"

#include "common/log.h"
#include "search/localindex.h"
#include "search/localsearches.h"

#include <QElapsedTimer>
#include <QMutexLocker>

using Changes = LocalIndexWriter::Changes;

namespace {

// Items read and indexed at a time; a stop waits for at most one batch.
constexpr qsizetype BatchSize = 250;
// How often building the index reports its progress.
constexpr qint64 ProgressEveryMs = 10000;

QList<Changes> batches(const Changes &changes)
{
    QList<qint64> ids = changes.keys();
    std::sort(ids.begin(), ids.end());
    QList<Changes> result;
    for (qsizetype from = 0; from < ids.size(); from += BatchSize) {
        Changes batch;
        for (qsizetype i = from; i < qMin(from + BatchSize, ids.size()); ++i)
            batch.insert(ids.at(i), changes.value(ids.at(i)));
        result.append(batch);
    }
    return result;
}

QString rate(qsizetype count, const QElapsedTimer &timer)
{
    const double seconds = qMax<qint64>(timer.elapsed(), 1) / 1000.0;
    return QStringLiteral("%1 s, %2 items/s").arg(seconds, 0, 'f', 1).arg(count / seconds, 0, 'f', 0);
}

} // namespace

LocalIndexer::LocalIndexer(QObject *parent)
    : QThread(parent)
{
}

LocalIndexer::~LocalIndexer()
{
    stop();
    wait();
}

void LocalIndexer::itemsChanged(const Changes &changes)
{
    QMutexLocker locker(&m_mutex);
    if (m_stopping)
        return;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        LocalIndexWriter::add(m_changes, it.key(), it.value());
    m_work.wakeOne();
}

void LocalIndexer::addSearch(const Talvori::Collection &collection)
{
    QMutexLocker locker(&m_mutex);
    m_requests.append({collection, collection.id()});
    m_work.wakeOne();
}

void LocalIndexer::removeSearch(qint64 collectionId)
{
    QMutexLocker locker(&m_mutex);
    m_requests.append({Talvori::Collection(), collectionId});
    m_work.wakeOne();
}

void LocalIndexer::stop()
{
    QMutexLocker locker(&m_mutex);
    m_stopping = true;
    m_changes.clear();
    m_requests.clear();
    m_work.wakeOne();
}

bool LocalIndexer::stopping()
{
    QMutexLocker locker(&m_mutex);
    return m_stopping;
}

bool LocalIndexer::takeWork(Changes *changes, QList<SearchRequest> *requests, bool wait)
{
    QMutexLocker locker(&m_mutex);
    while (wait && !m_stopping && m_changes.isEmpty() && m_requests.isEmpty())
        m_work.wait(&m_mutex);
    *changes = std::exchange(m_changes, {});
    *requests = std::exchange(m_requests, {});
    return !m_stopping;
}

void LocalIndexer::run()
{
    LocalIndexWriter writer(LocalIndex::path());
    bool usable = writer.open();
    LocalSearches searches;
    while (usable) {
        try {
            if (catchUp(writer, searches)) {
                QString damage;
                if (serve(writer, searches, &damage))
                    break;
                usable = writer.recreate(damage);
                continue;
            }
            break;
        } catch (const Xapian::DatabaseError &e) {
            usable = writer.recreate(QString::fromStdString(e.get_description()));
        }
    }
    if (!usable) {
        // Nothing will take the changes any more.
        stop();
        return;
    }
    try {
        writer.commit();
    } catch (const Xapian::Error &e) {
        logError().noquote() << "Unable to commit the search index:" << QString::fromStdString(e.get_description());
    }
}

bool LocalIndexer::catchUp(LocalIndexWriter &writer, LocalSearches &searches)
{
    QElapsedTimer timer;
    timer.start();
    QList<qint64> removed;
    const Changes behind = writer.catchUp(&removed);
    const bool building = writer.isNew() && !behind.isEmpty();
    if (building)
        logError().noquote() << QStringLiteral("Building the search index of %1 items").arg(behind.size());
    else if (!behind.isEmpty() || !removed.isEmpty())
        logError().noquote() << QStringLiteral("Bringing the search index up to date: %1 items to index, %2 removed")
                                    .arg(behind.size())
                                    .arg(removed.size());
    QElapsedTimer progress;
    progress.start();
    qsizetype done = 0;
    for (const Changes &batch : batches(behind)) {
        if (stopping())
            return false;
        writer.index(batch);
        writer.commitIfDue(false);
        done += batch.size();
        if (progress.elapsed() >= ProgressEveryMs) {
            logError().noquote() << QStringLiteral("Search index: %1 of %2 items (%3)")
                                        .arg(done)
                                        .arg(behind.size())
                                        .arg(rate(done, timer));
            progress.restart();
        }
    }
    writer.commit();
    if (!behind.isEmpty())
        logError().noquote() << QStringLiteral("Search index up to date: %1 items indexed in %2")
                                    .arg(behind.size())
                                    .arg(rate(behind.size(), timer));
    // The searches start from the whole index; what changed meanwhile is waiting as work.
    searches.addAll(writer.database());
    return !stopping();
}

bool LocalIndexer::serve(LocalIndexWriter &writer, LocalSearches &searches, QString *damage)
{
    Changes changes;
    QList<SearchRequest> requests;
    bool wait = true;
    while (takeWork(&changes, &requests, wait)) {
        try {
            for (const SearchRequest &request : std::as_const(requests)) {
                if (request.collection.isValid())
                    searches.add(request.collection, writer.database());
                else
                    searches.remove(request.collectionId);
            }
            indexBatches(writer, searches, changes);
            // Committed as soon as nothing else is waiting, so that searches see it.
            wait = changes.isEmpty() && requests.isEmpty();
            writer.commitIfDue(wait);
        } catch (const Xapian::DatabaseError &e) {
            *damage = QString::fromStdString(e.get_description());
            return false;
        } catch (const Xapian::Error &e) {
            logError().noquote() << "Unable to index items:" << QString::fromStdString(e.get_description());
        }
    }
    return true;
}

void LocalIndexer::indexBatches(LocalIndexWriter &writer, LocalSearches &searches, const Changes &changes)
{
    for (const Changes &batch : batches(changes)) {
        const QList<qint64> changed = writer.index(batch);
        writer.commitIfDue(false);
        searches.itemsChanged(writer.database(), changed);
    }
}

#include "aftercommit.h"

#include "storage/datastore.h"

void AfterCommit::run(DataStore *db, std::function<void()> work)
{
    if (!db->inTransaction()) {
        work();
        return;
    }
    auto *queue = db->findChild<AfterCommit *>(QString(), Qt::FindDirectChildrenOnly);
    if (!queue)
        queue = new AfterCommit(db);
    queue->m_work.append(std::move(work));
}

AfterCommit::AfterCommit(DataStore *db)
    : QObject(db)
{
    connect(db, &DataStore::transactionCommitted, this, &AfterCommit::committed, Qt::DirectConnection);
    connect(db, &DataStore::transactionRolledBack, this, &AfterCommit::rolledBack, Qt::DirectConnection);
}

void AfterCommit::committed()
{
    // Taken first: the work may open a transaction of its own and queue more.
    const QList<std::function<void()>> work = std::exchange(m_work, {});
    for (const std::function<void()> &step : work)
        step();
}

void AfterCommit::rolledBack()
{
    m_work.clear();
}

#ifndef TALVORI_AFTERCOMMIT_H
#define TALVORI_AFTERCOMMIT_H

#include <QList>
#include <QObject>

#include <functional>

class DataStore;

// Work that must only happen once a data store's changes are in the database for good: it waits
// for the store's outermost commit and is dropped by a rollback. Outside a transaction it runs at
// once. The queue belongs to the data store (a child of it) and so to the store's thread; the
// work runs on that thread, right after the commit.
class AfterCommit : public QObject
{
    Q_OBJECT
public:
    static void run(DataStore *db, std::function<void()> work);

private:
    explicit AfterCommit(DataStore *db);
    void committed();
    void rolledBack();

    QList<std::function<void()>> m_work;
};

#endif

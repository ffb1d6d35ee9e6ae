#ifndef TALVORI_TRANSACTIONFILES_H
#define TALVORI_TRANSACTIONFILES_H

#include <QString>
#include <QStringList>

// Payload files follow the transaction of their thread: a file written inside one is deleted again
// when it rolls back, and a file that a change no longer needs is deleted only once the change is
// committed, so a row restored by a rollback never points at a deleted file. Outside a transaction
// a file to remove goes at once.
//
// The data store says where its outermost transactions begin and end; PartHelper says which files
// it made and which ones it no longer needs. Each thread has its own, like its data store.
class TransactionFiles
{
public:
    static TransactionFiles &current();

    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_active; }

    void created(const QString &fileName);
    void removeOnCommit(const QString &fileName);

private:
    // Deletes those files and forgets the transaction.
    void end(const QStringList &deleted);

    bool m_active = false;
    QStringList m_created;
    QStringList m_toRemove;
};

#endif

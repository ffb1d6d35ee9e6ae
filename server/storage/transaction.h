#ifndef TALVORI_TRANSACTION_H
#define TALVORI_TRANSACTION_H

class DataStore;

// A scoped transaction: begins when made (unless told not to), rolls back when destroyed without
// commit(). Every data-changing command runs in one, so a failure anywhere leaves nothing behind.
// A begin that fails (the write lock stayed taken for longer than the lock timeout, the server is
// shutting down) throws TransactionException with the reason: nothing must be written outside of
// the transaction the caller asked for.
class Transaction
{
public:
    explicit Transaction(DataStore *db, bool beginTransaction = true);
    // Begins only when that needs no wait for another connection's write lock; active() tells
    // whether it did. For work that may as well be skipped.
    struct IfUncontended {};
    Transaction(DataStore *db, IfUncontended);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool active() const { return m_active; }
    bool commit();
    void begin();

private:
    DataStore *m_db;
    bool m_active = false;
    bool m_committed = false;
};

#endif

#ifndef TALVORI_TRANSACTION_H
#define TALVORI_TRANSACTION_H

class DataStore;

// A scoped transaction: begins when made (unless told not to), rolls back when destroyed without
// commit(). Every data-changing command runs in one, so a failure anywhere leaves nothing behind.
class Transaction
{
public:
    explicit Transaction(DataStore *db, bool beginTransaction = true);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool commit();
    void begin();

private:
    DataStore *m_db;
    bool m_committed = false;
};

#endif

#include "storage/transaction.h"

#include "common/exception.h"
#include "storage/datastore.h"

Transaction::Transaction(DataStore *db, bool beginTransaction)
    : m_db(db)
{
    if (beginTransaction) {
        begin();
    }
}

Transaction::Transaction(DataStore *db, IfUncontended)
    : m_db(db)
    , m_active(db->tryBeginTransaction())
{
}

Transaction::~Transaction()
{
    if (m_active && !m_committed) {
        m_db->rollbackTransaction();
    }
}

bool Transaction::commit()
{
    m_committed = true;
    return m_active && m_db->commitTransaction();
}

void Transaction::begin()
{
    if (!m_db->beginTransaction()) {
        throw TransactionException(m_db->transactionError());
    }
    m_active = true;
}

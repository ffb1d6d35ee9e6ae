#include "storage/transaction.h"

#include "storage/datastore.h"

Transaction::Transaction(DataStore *db, bool beginTransaction)
    : m_db(db)
{
    if (beginTransaction) {
        m_db->beginTransaction();
    }
}

Transaction::~Transaction()
{
    if (!m_committed) {
        m_db->rollbackTransaction();
    }
}

bool Transaction::commit()
{
    m_committed = true;
    return m_db->commitTransaction();
}

void Transaction::begin()
{
    m_db->beginTransaction();
}

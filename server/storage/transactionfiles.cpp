#include "storage/transactionfiles.h"

#include <QFile>

TransactionFiles &TransactionFiles::current()
{
    thread_local TransactionFiles files;
    return files;
}

void TransactionFiles::begin()
{
    m_active = true;
    m_created.clear();
    m_toRemove.clear();
}

void TransactionFiles::commit()
{
    for (const QString &fileName : std::as_const(m_toRemove))
        QFile::remove(fileName);
    m_active = false;
    m_created.clear();
    m_toRemove.clear();
}

void TransactionFiles::rollback()
{
    for (const QString &fileName : std::as_const(m_created))
        QFile::remove(fileName);
    m_active = false;
    m_created.clear();
    m_toRemove.clear();
}

void TransactionFiles::created(const QString &fileName)
{
    if (m_active)
        m_created.append(fileName);
}

void TransactionFiles::removeOnCommit(const QString &fileName)
{
    if (m_active)
        m_toRemove.append(fileName);
    else
        QFile::remove(fileName);
}

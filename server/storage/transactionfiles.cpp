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
    end(m_toRemove);
}

void TransactionFiles::rollback()
{
    end(m_created);
}

void TransactionFiles::end(const QStringList &deleted)
{
    for (const QString &fileName : deleted)
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

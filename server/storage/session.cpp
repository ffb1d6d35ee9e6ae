#include "storage/session.h"

#include "storage/datastore.h"

using namespace Talvori;

Session::~Session() = default;

void Session::setSessionId(const QByteArray &id)
{
    m_sessionId = id;
    storageBackend()->setSessionId(id);
}

DataStore *Session::storageBackend()
{
    if (!m_store)
        m_store = DataStore::self();
    return m_store;
}

bool Session::inTransaction() const
{
    return m_store && m_store->inTransaction();
}

bool Session::takeLockWaitTimeout()
{
    return m_store && m_store->takeLockWaitTimeout();
}

Collection Session::selectedCollection() const
{
    if (m_selectedCollection <= 0)
        return Collection();
    return Collection::retrieveById(m_selectedCollection);
}

bool Session::isOwnerResource(const PimItem &item) const
{
    if (m_resourceContext.isValid())
        return true;
    return isOwnerResource(Collection::retrieveById(item.collectionId()));
}

bool Session::isOwnerResource(const Collection &collection) const
{
    if (m_resourceContext.isValid())
        return true;
    if (!collection.isValid())
        return false;
    return collection.resource().name().toUtf8() == m_sessionId;
}

#ifndef TALVORI_SESSION_H
#define TALVORI_SESSION_H

#include "storage/entities.h"

#include <QByteArray>

class DataStore;

// What a command runs in: the client's session id, the resource it acts for after RESSELECT,
// the collection it has selected, and the data store of its thread. A client connection is one;
// code that does work of its own (and tests of handlers) can make a plain Session of its own.
// Everything here belongs to the thread that runs the session's commands.
class Session
{
public:
    Session() = default;
    virtual ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    QByteArray sessionId() const { return m_sessionId; }
    // Notifications recorded from now on name this session.
    virtual void setSessionId(const QByteArray &id);

    // The data store of the session's thread, fetched once.
    DataStore *storageBackend();
    // Whether a transaction is open on it (without opening a database connection to find out).
    bool inTransaction() const;
    // DataStore::takeLockWaitTimeout(), false while the session has no data store yet.
    bool takeLockWaitTimeout();

    qint64 selectedCollectionId() const { return m_selectedCollection; }
    void setSelectedCollection(qint64 id) { m_selectedCollection = id; }
    // The record of the selected collection; invalid while none (id 0 or less) is selected.
    Talvori::Collection selectedCollection() const;

    // The resource a resource process acts for after RESSELECT; invalid when none is selected.
    Talvori::Resource resourceContext() const { return m_resourceContext; }
    void setResourceContext(const Talvori::Resource &resource) { m_resourceContext = resource; }

    // Whether the client is the resource that owns the data: always with a resource context,
    // otherwise when the session id is the owning resource's name.
    bool isOwnerResource(const Talvori::PimItem &item) const;
    bool isOwnerResource(const Talvori::Collection &collection) const;

private:
    QByteArray m_sessionId;
    DataStore *m_store = nullptr;
    qint64 m_selectedCollection = 0;
    Talvori::Resource m_resourceContext;
};

#endif

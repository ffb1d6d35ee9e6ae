#ifndef TALVORI_DATASTORE_H
#define TALVORI_DATASTORE_H

#include "storage/entities.h"
#include "storage/statementcache.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>

class NotificationCollector;
class PayloadWriter;
class QSqlError;
class QSqlQuery;

// The database gateway of one thread. Every thread that uses the database gets its own instance
// from self(), with its own named connection, its own transaction nesting counter and its own
// NotificationCollector. The composite operations below never open a transaction themselves;
// callers wrap them in a Transaction so that a failure anywhere undoes all of it.
class DataStore : public QObject
{
    Q_OBJECT
public:
    // This thread's instance, created (and its connection opened) on first use; it is deleted when
    // the thread ends.
    static DataStore *self();
    ~DataStore() override;

    // Creates or completes the schema and then updates it; run once by the server at start-up.
    bool init();

    void open();
    void close();
    bool isOpened() const { return m_dbOpened; }
    QSqlDatabase database() const { return m_database; }

    NotificationCollector *notificationCollector() const { return m_notificationCollector; }
    // The prepared statements of this thread's connection (QueryBuilder and the records use it).
    StatementCache &statementCache() { return m_statementCache; }
    void setSessionId(const QByteArray &sessionId);

    static QString collectionDelimiter() { return QStringLiteral("/"); }

    // Only the outermost begin, commit and rollback reach the driver; nested ones count. On SQLite
    // the outermost transaction also holds a process-wide lock, so one connection writes at a time;
    // a begin waits for it at most lockTimeout() and fails after that, or at once while the server
    // shuts down (transactionError() says which).
    bool beginTransaction();
    // The same, but only when the write lock is free right now, and giving up on locked rows
    // almost at once: for work that may as well be skipped, such as recording when items were read.
    bool tryBeginTransaction();
    bool commitTransaction();
    bool rollbackTransaction();
    // Rolls the whole nesting back at once (a client's transaction left idle, a closing store).
    void rollbackAll();
    // Why the last begin failed.
    QString transactionError() const { return m_transactionError; }
    // Statements fail with the message of what they were for; one that gave up waiting for another
    // connection's row lock (MariaDB, PostgreSQL) is remembered, so that the client learns why.
    void noteQueryError(const QSqlError &error);
    // Whether a statement gave up on a lock since the last call; the last call forgets it.
    bool takeLockWaitTimeout();

    // How long a begin waits for another connection's write lock (SQLite), and how long any
    // statement waits for row locks (PostgreSQL, MariaDB), in milliseconds.
    static void setLockTimeout(int milliseconds);
    static int lockTimeout();
    // From now on no begin waits for the write lock: the server is shutting down.
    static void abortLockWaits();
    bool inTransaction() const { return m_transactionLevel > 0; }
    unsigned int transactionLevel() const { return m_transactionLevel; }
    // Inside a transaction on SQLite, whose process-wide lock keeps every other connection from
    // writing until the transaction ends.
    bool blocksOtherWriters() const { return inTransaction() && isSqlite(); }

    // Each flag operation reports a "FLAGS" change of every item whose flags it wrote, in the order
    // of the items. Those on many items run a few statements per flag whatever their number.
    // Gives the item exactly these flags, whether or not it has them already.
    bool setItemFlags(const Talvori::PimItem &item, const QList<Talvori::Flag> &flags);
    // Gives each item exactly these flags; items that have them already are not written.
    // flagsChanged tells whether any item was.
    bool setItemsFlags(const QList<Talvori::PimItem> &items, const QList<Talvori::Flag> &flags, bool &flagsChanged);
    // Adds the flags; with checkIfExists only those an item lacks, without it every one (a flag the
    // item has already makes that fail). flagsChanged tells whether any item got a flag.
    bool appendItemFlags(const Talvori::PimItem &item, const QList<Talvori::Flag> &flags, bool &flagsChanged,
                         bool checkIfExists = true, const Talvori::Collection &collection = Talvori::Collection());
    bool appendItemsFlags(const QList<Talvori::PimItem> &items, const QList<Talvori::Flag> &flags,
                          bool &flagsChanged, bool checkIfExists = true,
                          const Talvori::Collection &collection = Talvori::Collection());
    // Every item counts as changed, whether it had the flags or not.
    bool removeItemFlags(const Talvori::PimItem &item, const QList<Talvori::Flag> &flags);
    bool removeItemsFlags(const QList<Talvori::PimItem> &items, const QList<Talvori::Flag> &flags);

    bool removeItemParts(const Talvori::PimItem &item, const QList<QByteArray> &partNames);
    // Drops the cached payload parts of an item without unsaved changes; the owning resource can
    // deliver them again.
    bool invalidateItemCache(const Talvori::PimItem &item);

    bool appendCollection(Talvori::Collection &collection);
    // Removes the collection with its items, allowed MIME types, search links and attributes.
    // Child collections must be gone already.
    bool cleanupCollection(Talvori::Collection &collection);
    // A parent record with id 0 stands for the root. A move to another resource takes the whole
    // subtree along, and the remote identifiers and revisions the old resource gave its collections
    // and items go, since they mean nothing to the new one; the items are marked dirty. The
    // notification still names the collection's old remote identifier.
    bool moveCollection(Talvori::Collection &collection, const Talvori::Collection &newParent);
    bool appendMimeTypeForCollection(qint64 collectionId, const QStringList &mimeTypes);
    // Fills the cache policy columns of a collection that inherits them from its nearest ancestor
    // with a policy of its own, in memory only.
    static void activeCachePolicy(Talvori::Collection &col);
    // Whether the collection may go below newParent (id 0: the top level): not below itself or
    // its own descendants, and no sibling there may carry its name.
    static bool canMoveUnder(const Talvori::Collection &collection, const Talvori::Collection &newParent);
    // Whether the collection is root itself or one of its descendants.
    static bool isInSubtree(const Talvori::Collection &collection, const Talvori::Collection &root);

    bool appendMimeType(const QString &mimetype, qint64 *insertId = nullptr);
    // The flags of the names, in their order; missing ones are created. False when one could not be.
    static bool flagsForNames(const QList<QByteArray> &names, QList<Talvori::Flag> &flags);
    // Parts whose data arrived in pieces have their writer at the same index of payloads (null for
    // the others, and the list may be shorter than the parts).
    bool appendPimItem(QList<Talvori::Part> &parts, const Talvori::MimeType &mimetype,
                       const Talvori::Collection &collection, const QDateTime &dateTime, const QString &remote_id,
                       const QString &remoteRevision, Talvori::PimItem &pimItem,
                       const QList<PayloadWriter *> &payloads = {});
    bool cleanupPimItem(const Talvori::PimItem &item);
    // Removes the items with their parts, payload files (once the change is committed), flags and
    // links, a few statements for thousands of items.
    bool cleanupPimItems(const QList<Talvori::PimItem> &items);
    // Removes the items of the collection that carry the \DELETED flag.
    bool cleanupPimItems(const Talvori::Collection &collection);
    // The items that carry the flag, of the collection when it is valid, otherwise of every
    // collection, by id; false when the query failed.
    static bool itemsWithFlag(const Talvori::Flag &flag, const Talvori::Collection &collection,
                              QList<Talvori::PimItem> &items);
    // Puts the items into the destination with the access time and date-time of now, marked dirty
    // when markDirty is set. Items that leave their resource lose its remote identifier and
    // revision; the moved notifications still carry the old identifier, by which the old
    // resource knows the item.
    bool movePimItems(const QList<Talvori::PimItem> &items, const Talvori::Collection &destination, bool markDirty);
    bool unhidePimItem(Talvori::PimItem &pimItem);
    bool unhideAllPimItems();

    // Adds an attribute the collection does not have yet and reports the change.
    bool addCollectionAttribute(const Talvori::Collection &col, const QByteArray &key, const QByteArray &value);
    // Adds the attribute or changes its value; *changed tells whether anything was written. The
    // caller reports the change with the others it makes.
    bool setCollectionAttribute(const Talvori::Collection &col, const QByteArray &key, const QByteArray &value,
                                bool *changed);
    bool removeCollectionAttribute(const Talvori::Collection &col, const QByteArray &key);

    // -1 on error; 0 for an empty item table.
    qint64 highestPimItemId() const;
    qint64 uidNext() const { return highestPimItemId() + 1; }

    // Called with the collector of every data store created from now on, in the thread of that
    // store; the notification manager registers here to connect to each collector's notify().
    static void setCollectorRegistration(std::function<void(NotificationCollector *)> registration);

Q_SIGNALS:
    // After the outermost commit succeeded.
    void transactionCommitted();
    // When the outermost rollback starts.
    void transactionRolledBack();

protected:
    DataStore();

    void debugLastDbError(const char *actionDescription) const;
    void debugLastQueryError(const QSqlQuery &query, const char *actionDescription) const;

private:
    // Schema changes the initializer cannot make (renames, conversions): the updates of
    // dbupdate.xml the database has not had yet, run after the initializer.
    bool updateSchema();
    // The initializer, then updateSchema().
    bool createOrUpdateSchema();
    bool isSqlite() const;
    bool beginTransaction(bool waitForLock);
    // Takes the SQLite write lock, waiting at most lockTimeout() when waitForLock is set.
    bool lockForWriting(bool waitForLock);
    // Bounds the database server's own lock waits for this connection.
    void applyLockTimeout();
    // Row locks (PostgreSQL, MariaDB) are waited for up to the lock timeout, or hardly at all.
    void setRowLockWait(bool wait);
    // Gives the collection's descendants the resource, and the collection's and their items none of
    // the old resource's identifiers.
    bool moveSubtreeToResource(qint64 collectionId, qint64 resourceId);
    // The attributes of the collection with that type (at most one, unless the table was
    // written by hand); false when the query failed.
    static bool collectionAttributes(const Talvori::Collection &col, const QByteArray &key,
                                     QList<Talvori::CollectionAttribute> &attributes);

    QString m_connectionName;
    QSqlDatabase m_database;
    bool m_dbOpened = false;
    unsigned int m_transactionLevel = 0;
    QString m_transactionError;
    bool m_lockWaitTimedOut = false;
    bool m_rowLockWaitShortened = false;
    QByteArray m_sessionId;
    NotificationCollector *m_notificationCollector = nullptr;
    StatementCache m_statementCache;
};

#endif

#include "storage/datastore.h"

#include "common/log.h"
#include "common/tracer.h"
#include "storage/collectionancestry.h"
#include "storage/collectionresolver.h"
#include "storage/dbconfig.h"
#include "storage/dbinitializer.h"
#include "storage/dbupdater.h"
#include "storage/notificationcollector.h"
#include "storage/parthelper.h"
#include "storage/pimitemset.h"
#include "storage/queryhelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/transaction.h"
#include "storage/transactionfiles.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QStack>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QThreadStorage>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>

using namespace Talvori;

namespace {

QThreadStorage<DataStore *> s_instances;

// Held from the outermost begin to the outermost commit or rollback of any SQLite connection:
// SQLite allows one writer at a time, and waiting here is cheaper and more predictable than
// retrying on "database is locked".
QMutex s_sqliteMutex;
std::atomic<int> s_lockTimeout{90000};
std::atomic<bool> s_lockWaitsAborted{false};

QMutex s_registrationMutex; // guards s_collectorRegistration
std::function<void(NotificationCollector *)> s_collectorRegistration;

bool deleteRows(const QString &table, const QString &column, const ImapSet &ids)
{
    QueryBuilder qb(table, QueryBuilder::DeleteStatement);
    QueryHelper::setToQuery(ids, column, qb);
    return qb.exec();
}

QVariant nullString()
{
    return QVariant(QMetaType::fromType<QString>());
}

} // namespace

DataStore *DataStore::self()
{
    if (!s_instances.hasLocalData()) {
        s_instances.setLocalData(new DataStore());
    }
    return s_instances.localData();
}

void DataStore::setCollectorRegistration(std::function<void(NotificationCollector *)> registration)
{
    QMutexLocker lock(&s_registrationMutex);
    s_collectorRegistration = std::move(registration);
}

DataStore::DataStore()
    : m_notificationCollector(new NotificationCollector(this))
{
    open();
    m_transactionLevel = 0;

    std::function<void(NotificationCollector *)> registration;
    {
        QMutexLocker lock(&s_registrationMutex);
        registration = s_collectorRegistration;
    }
    if (registration) {
        registration(m_notificationCollector);
    }
}

DataStore::~DataStore()
{
    close();
}

void DataStore::open()
{
    m_connectionName = QUuid::createUuid().toString(QUuid::WithoutBraces)
        + QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId()));

    DbConfig *config = DbConfig::configuredDatabase();
    m_database = QSqlDatabase::addDatabase(config->driverName(), m_connectionName);
    config->apply(m_database);

    if (!m_database.isValid()) {
        m_dbOpened = false;
        return;
    }

    m_dbOpened = m_database.open();
    if (!m_dbOpened) {
        debugLastDbError("Cannot open database.");
    } else {
        logDebug() << "Database" << m_database.databaseName() << "opened using driver" << m_database.driverName();
        applyLockTimeout();
    }
}

void DataStore::applyLockTimeout()
{
    // PostgreSQL waits for a row lock for ever by default, MariaDB 50 s: a client's transaction
    // left open must not hold the others up longer than it holds SQLite's write lock.
    if (m_database.driverName() == QLatin1String("QPSQL")) {
        QSqlQuery query(m_database);
        if (!query.exec(QStringLiteral("SET lock_timeout = %1").arg(lockTimeout())))
            debugLastQueryError(query, "DataStore::applyLockTimeout");
    } else {
        setRowLockWait(true);
    }
}

void DataStore::noteQueryError(const QSqlError &error)
{
    // lock_not_available (PostgreSQL's lock_timeout), ER_LOCK_WAIT_TIMEOUT (MariaDB).
    const QString code = error.nativeErrorCode();
    if (code == QLatin1String("55P03") || code == QLatin1String("1205"))
        m_lockWaitTimedOut = true;
}

bool DataStore::takeLockWaitTimeout()
{
    return std::exchange(m_lockWaitTimedOut, false);
}

void DataStore::setLockTimeout(int milliseconds)
{
    s_lockTimeout = milliseconds;
}

int DataStore::lockTimeout()
{
    return s_lockTimeout;
}

void DataStore::abortLockWaits()
{
    s_lockWaitsAborted = true;
}

void DataStore::close()
{
    if (!m_dbOpened) {
        return;
    }
    rollbackAll();
    // Prepared statements belong to the connection and must go before it.
    m_statementCache.clear();
    m_database.close();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_dbOpened = false;
}

bool DataStore::init()
{
    const bool done = createOrUpdateSchema();
    // Statements prepared on this connection before or while the schema changed may describe
    // tables as they were (PostgreSQL refuses such a statement).
    m_statementCache.clear();
    if (!done) {
        return false;
    }

    MimeType::enableCache(true);
    Flag::enableCache(true);
    Resource::enableCache(true);
    Collection::enableCache(true);
    return true;
}

bool DataStore::createOrUpdateSchema()
{
    std::shared_ptr<DbInitializer> initializer =
        DbInitializer::createInstance(m_database, QStringLiteral(":talvoridb.xml"));
    if (!initializer) {
        return false;
    }
    if (!initializer->run()) {
        logError() << initializer->errorMsg();
        return false;
    }
    return updateSchema();
}

bool DataStore::updateSchema()
{
    return DbUpdater(m_database, QStringLiteral(":dbupdate.xml")).run();
}

void DataStore::setSessionId(const QByteArray &sessionId)
{
    m_sessionId = sessionId;
    m_notificationCollector->setSessionId(sessionId);
}

bool DataStore::isSqlite() const
{
    return m_database.driverName().startsWith(QLatin1String("QSQLITE"));
}

bool DataStore::beginTransaction()
{
    return beginTransaction(true);
}

bool DataStore::tryBeginTransaction()
{
    return beginTransaction(false);
}

bool DataStore::lockForWriting(bool waitForLock)
{
    if (!waitForLock)
        return s_sqliteMutex.tryLock();
    // In short steps, so that a shut-down does not wait for a lock a client holds.
    const QDeadlineTimer deadline(s_lockTimeout.load());
    while (!s_lockWaitsAborted) {
        if (s_sqliteMutex.tryLock(int(qBound(qint64(0), deadline.remainingTime(), qint64(100)))))
            return true;
        if (deadline.hasExpired())
            break;
    }
    m_transactionError = s_lockWaitsAborted
        ? QStringLiteral("Unable to begin transaction: the server is shutting down.")
        : QStringLiteral("Unable to begin transaction: another connection held the database's write lock "
                         "for longer than %1 ms.").arg(s_lockTimeout.load());
    return false;
}

bool DataStore::beginTransaction(bool waitForLock)
{
    if (!m_dbOpened) {
        m_transactionError = QStringLiteral("Unable to begin transaction: the database is not open.");
        return false;
    }
    if (m_transactionLevel == 0) {
        if (isSqlite() && !lockForWriting(waitForLock)) {
            return false;
        }
        if (!m_database.driver()->beginTransaction()) {
            debugLastDbError("DataStore::beginTransaction");
            m_transactionError = QStringLiteral("Unable to begin transaction.");
            if (isSqlite()) {
                s_sqliteMutex.unlock();
            }
            return false;
        }
        TransactionFiles::current().begin();
        if (!waitForLock)
            setRowLockWait(false);
    }
    ++m_transactionLevel;
    return true;
}

void DataStore::setRowLockWait(bool wait)
{
    // A transaction that would rather be skipped than wait gives up on a locked row almost at once.
    QString statement;
    if (m_database.driverName() == QLatin1String("QPSQL") && !wait) {
        statement = QStringLiteral("SET LOCAL lock_timeout = 1"); // ends with the transaction
    } else if (m_database.driverName().startsWith(QLatin1String("QMYSQL"))) {
        // In whole seconds; 0 does not wait at all (MariaDB; MySQL takes it as 1 s).
        const int seconds = wait ? qMax(1, lockTimeout() / 1000) : 0;
        statement = QStringLiteral("SET SESSION innodb_lock_wait_timeout = %1").arg(seconds);
    }
    m_rowLockWaitShortened = !wait;
    if (statement.isEmpty())
        return;
    QSqlQuery query(m_database);
    if (!query.exec(statement))
        debugLastQueryError(query, "DataStore::setRowLockWait");
}

bool DataStore::commitTransaction()
{
    if (!m_dbOpened) {
        return false;
    }
    if (m_transactionLevel == 0) {
        qWarning("DataStore::commitTransaction(): No transaction in progress!");
        return false;
    }
    if (m_transactionLevel == 1) {
        if (!m_database.driver()->commitTransaction()) {
            debugLastDbError("DataStore::commitTransaction");
            rollbackTransaction();
            return false;
        }
        if (isSqlite()) {
            s_sqliteMutex.unlock();
        }
        TransactionFiles::current().commit();
        if (m_rowLockWaitShortened)
            setRowLockWait(true);
        // The level drops before the signal so that receivers see the transaction as finished.
        --m_transactionLevel;
        Q_EMIT transactionCommitted();
        return true;
    }
    --m_transactionLevel;
    return true;
}

void DataStore::rollbackAll()
{
    if (inTransaction()) {
        m_transactionLevel = 1;
        rollbackTransaction();
    }
}

bool DataStore::rollbackTransaction()
{
    if (!m_dbOpened) {
        return false;
    }
    if (m_transactionLevel == 0) {
        qWarning("DataStore::rollbackTransaction(): No transaction in progress!");
        return false;
    }
    --m_transactionLevel;
    if (m_transactionLevel > 0) {
        return true;
    }
    Q_EMIT transactionRolledBack();
    TransactionFiles::current().rollback();
    const bool ok = m_database.driver()->rollbackTransaction();
    if (isSqlite()) {
        s_sqliteMutex.unlock();
    }
    if (m_rowLockWaitShortened)
        setRowLockWait(true);
    if (!ok) {
        debugLastDbError("DataStore::rollbackTransaction");
        return false;
    }
    return true;
}

// Flags

bool DataStore::setItemFlags(const PimItem &item, const QList<Flag> &flags)
{
    const PimItemSet set(QList<qint64>{item.id()});
    if (!set.clearFlags()) {
        return false;
    }
    for (const Flag &flag : flags) {
        if (!set.addFlag(flag, false)) {
            return false;
        }
    }
    m_notificationCollector->notifyItemChanged(item, {QByteArrayLiteral("FLAGS")});
    return true;
}

bool DataStore::setItemsFlags(const QList<PimItem> &items, const QList<Flag> &flags, bool &flagsChanged)
{
    flagsChanged = false;
    QHash<qint64, QList<qint64>> current;
    if (!PimItemSet(items).flagIds(current)) {
        return false;
    }
    // A name given twice is not the same as the one flag an item can have of it; writing it twice
    // then fails, as it does for a single item.
    QList<qint64> wanted;
    wanted.reserve(flags.size());
    for (const Flag &flag : flags) {
        wanted.append(flag.id());
    }
    std::sort(wanted.begin(), wanted.end());

    QList<PimItem> changed;
    for (const PimItem &item : items) {
        if (current.value(item.id()) != wanted) {
            changed.append(item);
        }
    }
    if (changed.isEmpty()) {
        return true;
    }
    const PimItemSet set(changed);
    if (!set.clearFlags()) {
        return false;
    }
    for (const Flag &flag : flags) {
        if (!set.addFlag(flag, false)) {
            return false;
        }
    }
    flagsChanged = true;
    m_notificationCollector->notifyItemsChanged(changed, {QByteArrayLiteral("FLAGS")});
    return true;
}

bool DataStore::appendItemFlags(const PimItem &item, const QList<Flag> &flags, bool &flagsChanged, bool checkIfExists,
                                const Collection &collection)
{
    return appendItemsFlags({item}, flags, flagsChanged, checkIfExists, collection);
}

bool DataStore::appendItemsFlags(const QList<PimItem> &items, const QList<Flag> &flags, bool &flagsChanged,
                                 bool checkIfExists, const Collection &collection)
{
    flagsChanged = false;
    for (const PimItem &item : items) {
        if (!item.isValid()) {
            return false;
        }
    }
    if (flags.isEmpty() || items.isEmpty()) {
        return true;
    }

    const PimItemSet set(items);
    QList<PimItem> changed = items;
    if (checkIfExists) {
        QHash<qint64, QList<qint64>> existing;
        if (!set.flagIds(existing, flags)) {
            return false;
        }
        // An item that has every flag already stays as it is. (A name given twice counts once.)
        QSet<qint64> wanted;
        for (const Flag &flag : flags) {
            wanted.insert(flag.id());
        }
        changed.clear();
        for (const PimItem &item : items) {
            if (existing.value(item.id()).size() < wanted.size()) {
                changed.append(item);
            }
        }
        if (changed.isEmpty()) {
            return true;
        }
    }
    // Set before the writing, which may fail on a flag the item has already (without the check).
    flagsChanged = true;
    for (const Flag &flag : flags) {
        if (!set.addFlag(flag, checkIfExists)) {
            return false;
        }
    }
    m_notificationCollector->notifyItemsChanged(changed, {QByteArrayLiteral("FLAGS")}, collection);
    return true;
}

bool DataStore::removeItemFlags(const PimItem &item, const QList<Flag> &flags)
{
    return removeItemsFlags({item}, flags);
}

bool DataStore::removeItemsFlags(const QList<PimItem> &items, const QList<Flag> &flags)
{
    if (!PimItemSet(items).removeFlags(flags)) {
        return false;
    }
    m_notificationCollector->notifyItemsChanged(items, {QByteArrayLiteral("FLAGS")});
    return true;
}

// Parts

bool DataStore::removeItemParts(const PimItem &item, const QList<QByteArray> &partNames)
{
    const QList<Part> parts = item.parts();
    for (Part part : parts) {
        if (partNames.contains(part.name().toLatin1())) {
            if (!PartHelper::remove(&part)) {
                return false;
            }
        }
    }
    m_notificationCollector->notifyItemChanged(item, QSet<QByteArray>(partNames.begin(), partNames.end()));
    return true;
}

bool DataStore::invalidateItemCache(const PimItem &item)
{
    SelectQueryBuilder<Part> qb;
    qb.addJoin(QueryBuilder::InnerJoin, PimItem::tableName(), Part::pimItemIdFullColumnName(),
               PimItem::idFullColumnName());
    qb.addValueCondition(Part::pimItemIdFullColumnName(), Query::Equals, item.id());
    qb.addValueCondition(Part::dataFullColumnName(), Query::IsNot, QVariant());
    qb.addValueCondition(PartHelper::namePrefixExpression(), Query::Equals, QStringLiteral("PLD:"));
    qb.addValueCondition(PimItem::dirtyFullColumnName(), Query::Equals, false);
    if (!qb.exec()) {
        return false;
    }
    const QList<Part> parts = qb.result();
    for (Part part : parts) {
        if (!PartHelper::truncate(part)) {
            return false;
        }
    }
    return true;
}

bool DataStore::unhidePimItem(PimItem &pimItem)
{
    if (!m_dbOpened) {
        return false;
    }
    logDebug() << "DataStore::unhidePimItem(" << pimItem << ")";
    return removeItemParts(pimItem, {QByteArrayLiteral("ATR:HIDDEN")});
}

bool DataStore::unhideAllPimItems()
{
    if (!m_dbOpened) {
        return false;
    }
    logDebug() << "DataStore::unhideAllPimItems()";
    return PartHelper::remove(Part::nameFullColumnName(), QStringLiteral("ATR:HIDDEN"));
}

// Collections

bool DataStore::appendCollection(Collection &collection)
{
    if (!collection.insert()) {
        return false;
    }
    m_notificationCollector->notifyCollectionAdded(collection);
    return true;
}

bool DataStore::cleanupCollection(Collection &collection)
{
    if (!cleanupPimItems(collection.items())) {
        return false;
    }
    collection.clearMimeTypes();
    Entity::clearRelation<CollectionPimItemRelation>(collection.id(), Entity::Left);

    const QList<CollectionAttribute> attributes = collection.attributes();
    for (CollectionAttribute attribute : attributes) {
        if (!attribute.remove()) {
            return false;
        }
    }

    m_notificationCollector->notifyCollectionRemoved(collection);
    return collection.remove();
}

bool DataStore::canMoveUnder(const Collection &collection, const Collection &newParent)
{
    if (newParent.isValid() && isInSubtree(newParent, collection)) {
        return false;
    }
    return CollectionResolver::isNameUnique(collection, collection.name(), newParent.id());
}

bool DataStore::isInSubtree(const Collection &collection, const Collection &root)
{
    if (collection.id() <= 0) {
        return false;
    }
    const QStack<Collection> chain =
        CollectionAncestry::upwards(collection.id(), std::numeric_limits<int>::max(), CollectionAncestry::fromDatabase());
    for (const Collection &ancestor : chain) {
        if (ancestor.id() == root.id()) {
            return true;
        }
    }
    return false;
}

bool DataStore::moveSubtreeToResource(qint64 collectionId, qint64 resourceId)
{
    QList<qint64> descendants;
    QList<qint64> parents{collectionId};
    while (!parents.isEmpty()) {
        const QList<Collection> children = Collection::retrieveFiltered(Collection::parentIdColumn(), parents.takeLast());
        for (const Collection &child : children) {
            descendants.append(child.id());
            parents.append(child.id());
        }
    }
    for (const ImapSet &piece : QueryHelper::idPieces(descendants)) {
        QueryBuilder qb(Collection::tableName(), QueryBuilder::UpdateStatement);
        qb.setColumnValue(Collection::resourceIdColumn(), resourceId);
        qb.setColumnValue(Collection::remoteIdColumn(), nullString());
        qb.setColumnValue(Collection::remoteRevisionColumn(), nullString());
        QueryHelper::setToQuery(piece, Collection::idColumn(), qb);
        if (!qb.exec()) {
            return false;
        }
    }
    // The statements bypassed the records, so cached copies of the descendants are stale.
    Collection::invalidateCompleteCache();

    descendants.append(collectionId);
    for (const ImapSet &piece : QueryHelper::idPieces(descendants)) {
        QueryBuilder qb(PimItem::tableName(), QueryBuilder::UpdateStatement);
        qb.setColumnValue(PimItem::remoteIdColumn(), nullString());
        qb.setColumnValue(PimItem::remoteRevisionColumn(), nullString());
        // Only the new resource can tell them apart from items it never had.
        qb.setColumnValue(PimItem::dirtyColumn(), true);
        QueryHelper::setToQuery(piece, PimItem::collectionIdColumn(), qb);
        if (!qb.exec()) {
            return false;
        }
    }
    return true;
}

bool DataStore::moveCollection(Collection &collection, const Collection &newParent)
{
    if (collection.parentId() == newParent.id()) {
        return true;
    }
    if (!m_dbOpened || !newParent.isValid()) {
        return false;
    }

    const qint64 resourceId = newParent.id() > 0 ? newParent.resourceId() : collection.resourceId();
    const Collection oldParent = collection.parent();

    if (!canMoveUnder(collection, newParent)) {
        return false;
    }

    collection.setParentId(newParent.id());
    const bool changesResource = collection.resourceId() != resourceId;
    collection.setResourceId(resourceId);
    // The record names the collection as its old resource knows it.
    const Collection announced = collection;
    if (changesResource) {
        collection.setRemoteId(QString());
        collection.setRemoteRevision(QString());
        if (!moveSubtreeToResource(collection.id(), resourceId)) {
            return false;
        }
    }

    if (!collection.update()) {
        return false;
    }

    m_notificationCollector->notifyCollectionMoved(announced, oldParent);
    return true;
}

void DataStore::activeCachePolicy(Collection &col)
{
    CollectionAncestry::applyActiveCachePolicy(col, CollectionAncestry::fromDatabase());
}

bool DataStore::appendMimeTypeForCollection(qint64 collectionId, const QStringList &mimeTypes)
{
    if (mimeTypes.isEmpty()) {
        return true;
    }
    SelectQueryBuilder<MimeType> qb;
    qb.addValueCondition(MimeType::nameColumn(), Query::In, mimeTypes);
    if (!qb.exec()) {
        return false;
    }

    QStringList missingMimeTypes = mimeTypes;
    const QList<MimeType> existing = qb.result();
    for (const MimeType &mimeType : existing) {
        if (!Collection::addMimeType(collectionId, mimeType.id())) {
            return false;
        }
        missingMimeTypes.removeAll(mimeType.name());
    }

    for (const QString &mimeType : std::as_const(missingMimeTypes)) {
        qint64 mimeTypeId = -1;
        if (!appendMimeType(mimeType, &mimeTypeId)) {
            return false;
        }
        if (!Collection::addMimeType(collectionId, mimeTypeId)) {
            return false;
        }
    }
    return true;
}

bool DataStore::flagsForNames(const QList<QByteArray> &names, QList<Flag> &flags)
{
    flags.clear();
    flags.reserve(names.size());
    for (const QByteArray &name : names) {
        const QString flagName = QString::fromUtf8(name);
        Flag flag = Flag::retrieveByName(flagName);
        if (!flag.isValid()) {
            flag = Flag(flagName);
            if (!flag.insert()) {
                return false;
            }
        }
        flags.append(flag);
    }
    return true;
}

bool DataStore::appendMimeType(const QString &mimetype, qint64 *insertId)
{
    if (MimeType::exists(mimetype)) {
        logDebug() << "Cannot insert mimetype " << mimetype << " because it already exists.";
        return false;
    }
    MimeType mt(mimetype);
    return mt.insert(insertId);
}

// Items

bool DataStore::appendPimItem(QList<Part> &parts, const MimeType &mimetype, const Collection &collection,
                              const QDateTime &dateTime, const QString &remote_id, const QString &remoteRevision,
                              PimItem &pimItem, const QList<PayloadWriter *> &payloads)
{
    pimItem.setMimeTypeId(mimetype.id());
    pimItem.setCollectionId(collection.id());
    if (dateTime.isValid()) {
        pimItem.setDatetime(dateTime);
    }
    if (remote_id.isEmpty()) {
        // An item made here has not reached its resource yet.
        pimItem.setDirty(true);
    } else {
        pimItem.setRemoteId(remote_id);
        pimItem.setDirty(false);
    }
    pimItem.setRemoteRevision(remoteRevision);
    pimItem.setAtime(QDateTime::currentDateTimeUtc());

    if (!pimItem.insert()) {
        return false;
    }

    for (qsizetype i = 0; i < parts.size(); ++i) {
        Part &part = parts[i];
        part.setPimItemId(pimItem.id());
        PayloadWriter *payload = payloads.value(i);
        if (part.datasize() < part.data().size()) {
            part.setDatasize(part.data().size());
        }
        if (!(payload ? PartHelper::insert(&part, *payload) : PartHelper::insert(&part))) {
            return false;
        }
    }

    m_notificationCollector->notifyItemAdded(pimItem, collection, mimetype.name());
    return true;
}

bool DataStore::cleanupPimItem(const PimItem &item)
{
    return cleanupPimItems(QList<PimItem>{item});
}

bool DataStore::cleanupPimItems(const QList<PimItem> &items)
{
    QList<qint64> ids;
    ids.reserve(items.size());
    for (const PimItem &item : items) {
        if (!item.isValid()) {
            return false;
        }
        // Reported first: the record needs the item's collection and remote revision.
        m_notificationCollector->notifyItemRemoved(item);
        ids.append(item.id());
    }
    for (const ImapSet &piece : QueryHelper::idPieces(ids)) {
        if (!deleteRows(PimItemFlagRelation::tableName(), PimItemFlagRelation::leftColumn(), piece)
            || !deleteRows(CollectionPimItemRelation::tableName(), CollectionPimItemRelation::rightColumn(), piece)
            || !PartHelper::removeItemParts(piece) || !deleteRows(PimItem::tableName(), PimItem::idColumn(), piece)) {
            return false;
        }
    }
    return true;
}

bool DataStore::movePimItems(const QList<PimItem> &items, const Collection &destination, bool markDirty)
{
    // One statement for the items that stay with their resource and one for those that leave it,
    // per piece of ids.
    QList<qint64> staying;
    QList<qint64> leaving;
    for (const PimItem &item : items) {
        const Collection source = item.collection();
        m_notificationCollector->notifyItemMoved(item, source, destination);
        (source.resourceId() == destination.resourceId() ? staying : leaving).append(item.id());
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto move = [&](const QList<qint64> &ids, bool leavesResource) {
        for (const ImapSet &piece : QueryHelper::idPieces(ids)) {
            QueryBuilder qb(PimItem::tableName(), QueryBuilder::UpdateStatement);
            qb.setColumnValue(PimItem::collectionIdColumn(), destination.id());
            qb.setColumnValue(PimItem::atimeColumn(), now);
            qb.setColumnValue(PimItem::datetimeColumn(), now);
            if (markDirty) {
                qb.setColumnValue(PimItem::dirtyColumn(), true);
            }
            if (leavesResource) {
                qb.setColumnValue(PimItem::remoteIdColumn(), nullString());
                qb.setColumnValue(PimItem::remoteRevisionColumn(), nullString());
            }
            QueryHelper::setToQuery(piece, PimItem::idColumn(), qb);
            if (!qb.exec()) {
                return false;
            }
        }
        return true;
    };
    return move(staying, false) && move(leaving, true);
}

bool DataStore::cleanupPimItems(const Collection &collection)
{
    if (!m_dbOpened || !collection.isValid()) {
        return false;
    }
    const Flag deleted = Flag::retrieveByName(QStringLiteral("\\DELETED"));
    if (!deleted.isValid()) {
        return true;
    }
    QList<PimItem> items;
    return itemsWithFlag(deleted, collection, items) && cleanupPimItems(items);
}

bool DataStore::itemsWithFlag(const Flag &flag, const Collection &collection, QList<PimItem> &items)
{
    SelectQueryBuilder<PimItem> qb;
    qb.addJoin(QueryBuilder::InnerJoin, PimItemFlagRelation::tableName(), PimItemFlagRelation::leftFullColumnName(),
               PimItem::idFullColumnName());
    qb.addValueCondition(PimItemFlagRelation::rightFullColumnName(), Query::Equals, flag.id());
    if (collection.isValid()) {
        qb.addValueCondition(PimItem::collectionIdFullColumnName(), Query::Equals, collection.id());
    }
    qb.addSortColumn(PimItem::idFullColumnName(), Query::Ascending);
    if (!qb.exec()) {
        return false;
    }
    items = qb.result();
    return true;
}

// Collection attributes

bool DataStore::collectionAttributes(const Collection &col, const QByteArray &key, QList<CollectionAttribute> &attributes)
{
    SelectQueryBuilder<CollectionAttribute> qb;
    qb.addValueCondition(CollectionAttribute::collectionIdColumn(), Query::Equals, col.id());
    qb.addValueCondition(CollectionAttribute::typeColumn(), Query::Equals, key);
    if (!qb.exec()) {
        return false;
    }
    attributes = qb.result();
    return true;
}

bool DataStore::addCollectionAttribute(const Collection &col, const QByteArray &key, const QByteArray &value)
{
    QList<CollectionAttribute> existing;
    if (!collectionAttributes(col, key, existing)) {
        return false;
    }
    if (!existing.isEmpty()) {
        logDebug() << "Attribute" << key << "already exists for collection" << col.id();
        return false;
    }

    CollectionAttribute attribute(col.id(), key, value);
    if (!attribute.insert()) {
        return false;
    }
    m_notificationCollector->notifyCollectionChanged(col, {key});
    return true;
}

bool DataStore::setCollectionAttribute(const Collection &col, const QByteArray &key, const QByteArray &value,
                                       bool *changed)
{
    *changed = false;
    QList<CollectionAttribute> existing;
    if (!collectionAttributes(col, key, existing) || existing.size() > 1) {
        return false;
    }
    if (existing.isEmpty()) {
        CollectionAttribute attribute(col.id(), key, value);
        if (!attribute.insert()) {
            return false;
        }
        *changed = true;
        return true;
    }
    CollectionAttribute &attribute = existing.first();
    if (attribute.value() == value) {
        return true;
    }
    attribute.setValue(value);
    if (!attribute.update()) {
        return false;
    }
    *changed = true;
    return true;
}

bool DataStore::removeCollectionAttribute(const Collection &col, const QByteArray &key)
{
    QList<CollectionAttribute> attributes;
    if (!collectionAttributes(col, key, attributes)) {
        return false;
    }
    for (CollectionAttribute attribute : attributes) {
        if (!attribute.remove()) {
            return false;
        }
    }
    m_notificationCollector->notifyCollectionChanged(col, {key});
    return true;
}

qint64 DataStore::highestPimItemId() const
{
    if (!m_dbOpened) {
        return -1;
    }
    QSqlQuery query(m_database);
    const QString statement = QStringLiteral("SELECT MAX(%1) FROM %2").arg(PimItem::idColumn(), PimItem::tableName());
    if (!query.exec(statement) || !query.next()) {
        debugLastQueryError(query, "DataStore::highestPimItemId");
        return -1;
    }
    return query.value(0).toLongLong();
}

// Error reports

void DataStore::debugLastDbError(const char *actionDescription) const
{
    logError() << "Database error:" << actionDescription;
    logError() << "  Last driver error:" << m_database.lastError().driverText();
    logError() << "  Last database error:" << m_database.lastError().databaseText();

    Tracer::self()->error(QStringLiteral("DataStore (Database Error)"),
                          QStringLiteral("%1\nDriver said: %2\nDatabase said:%3")
                              .arg(QString::fromLatin1(actionDescription), m_database.lastError().driverText(),
                                   m_database.lastError().databaseText()));
}

void DataStore::debugLastQueryError(const QSqlQuery &query, const char *actionDescription) const
{
    logError() << "Query error:" << actionDescription;
    logError() << "  Last error message:" << query.lastError().text();
    logError() << "  Last driver error:" << m_database.lastError().driverText();
    logError() << "  Last database error:" << m_database.lastError().databaseText();

    Tracer::self()->error(QStringLiteral("DataStore (Database Query Error)"),
                          QStringLiteral("%1: %2").arg(QString::fromLatin1(actionDescription), query.lastError().text()));
}

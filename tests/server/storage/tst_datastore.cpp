#include "teststorage.h"

#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/notificationcollector.h"
#include "storage/parthelper.h"
#include "storage/querybuilder.h"
#include "storage/selectquerybuilder.h"
#include "storage/statementcache.h"
#include "storage/transaction.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <algorithm>
#include <functional>

using namespace Talvori;

namespace {

int s_collectionCounter = 0;

Collection makeCollection(qint64 resourceId, qint64 parentId = 0, const QString &name = QString())
{
    Collection collection;
    collection.setName(name.isEmpty() ? QStringLiteral("col%1").arg(++s_collectionCounter) : name);
    collection.setResourceId(resourceId);
    collection.setParentId(parentId);
    collection.setSubscribed(true);
    collection.setCachePolicyInherit(true);
    collection.setCachePolicyCheckInterval(-1);
    collection.setCachePolicyCacheTimeout(-1);
    collection.setCachePolicySyncOnDemand(false);
    return collection;
}

Part makePart(const QByteArray &name, const QByteArray &data)
{
    Part part;
    part.setName(QString::fromLatin1(name));
    part.setData(data);
    part.setDatasize(data.size());
    return part;
}

QList<qint64> flagIdsOf(const PimItem &item)
{
    QList<qint64> ids;
    for (const Flag &flag : item.flags())
        ids.append(flag.id());
    std::sort(ids.begin(), ids.end());
    return ids;
}

// A record with the item's id and remote id left out: equal for the same change of twin items.
QString shapeOf(const NotificationMessage &msg)
{
    QList<QByteArray> parts = msg.itemParts().values();
    std::sort(parts.begin(), parts.end());
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(msg.type())
        .arg(msg.operation())
        .arg(QString::fromLatin1(msg.sessionId()))
        .arg(msg.parentCollection())
        .arg(msg.parentDestCollection())
        .arg(msg.mimeType(), QString::fromLatin1(msg.resource()), QString::fromLatin1(parts.join(',')));
}

NotificationMessage::List collected(const QSignalSpy &spy)
{
    NotificationMessage::List all;
    for (const QList<QVariant> &args : spy) {
        all += args.at(0).value<NotificationMessage::List>();
    }
    return all;
}

} // namespace

class DataStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void nestedTransactions();
    void transactionWithoutBegin();
    void closeRollsBackWholeNesting();
    void scopedTransaction();
    void notificationsFollowTransactions();

    void appendPimItem();
    void appendPimItemFailure();
    void itemFlags();
    void flagsOfManyItems();
    void statementCache();
    void statementCacheAfterSchemaChange();
    void removeItemPartsAndUnhide();
    void invalidateItemCache();
    void cleanupPimItem();
    void cleanupPimItems();
    void collections();
    void moveCollection();
    void moveCollectionChangesResourceOfSubtree();
    void activeCachePolicy();
    void mimeTypes();
    void collectionAttributes();
    void highestPimItemId();

private:
    PimItem appendItem(const QString &remoteId, QList<Part> parts = {});

    TestStorage m_storage;
    DataStore *m_store = nullptr;
    Resource m_resource;
    Collection m_collection;
    MimeType m_mimeType;
    std::unique_ptr<QSignalSpy> m_notifications;
};

void DataStoreTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
    m_store = DataStore::self();
    qRegisterMetaType<NotificationMessage::List>();

    m_resource = Resource(QStringLiteral("datastoretest"), false);
    QVERIFY(m_resource.insert());
    m_collection = makeCollection(m_resource.id());
    QVERIFY(m_collection.insert());
    m_mimeType = MimeType::retrieveByName(QStringLiteral("message/rfc822"));
    QVERIFY(m_mimeType.isValid());
}

void DataStoreTest::init()
{
    m_notifications =
        std::make_unique<QSignalSpy>(m_store->notificationCollector(), &NotificationCollector::notify);
}

void DataStoreTest::cleanup()
{
    // A failed check must not leave an open transaction to the next test.
    while (m_store->inTransaction()) {
        m_store->rollbackTransaction();
    }
}

PimItem DataStoreTest::appendItem(const QString &remoteId, QList<Part> parts)
{
    PimItem item;
    if (!m_store->appendPimItem(parts, m_mimeType, m_collection, QDateTime(), remoteId, QString(), item)) {
        return PimItem();
    }
    return item;
}

void DataStoreTest::nestedTransactions()
{
    QSignalSpy committed(m_store, &DataStore::transactionCommitted);
    QSignalSpy rolledBack(m_store, &DataStore::transactionRolledBack);

    QVERIFY(m_store->beginTransaction());
    QVERIFY(m_store->beginTransaction());
    const PimItem item = appendItem(QStringLiteral("nested"));
    QVERIFY(item.isValid());
    // The inner rollback only lowers the level; the outer commit still commits everything.
    QVERIFY(m_store->rollbackTransaction());
    QCOMPARE(m_store->transactionLevel(), 1u);
    QVERIFY(m_store->commitTransaction());
    QCOMPARE(m_store->transactionLevel(), 0u);
    QCOMPARE(committed.count(), 1);
    QCOMPARE(rolledBack.count(), 0);
    QVERIFY(PimItem::retrieveById(item.id()).isValid());

    QVERIFY(m_store->beginTransaction());
    const PimItem dropped = appendItem(QStringLiteral("dropped"));
    QVERIFY(dropped.isValid());
    QVERIFY(m_store->rollbackTransaction());
    QCOMPARE(rolledBack.count(), 1);
    QVERIFY(!PimItem::retrieveById(dropped.id()).isValid());
}

void DataStoreTest::transactionWithoutBegin()
{
    QTest::ignoreMessage(QtWarningMsg, "DataStore::commitTransaction(): No transaction in progress!");
    QVERIFY(!m_store->commitTransaction());
    QTest::ignoreMessage(QtWarningMsg, "DataStore::rollbackTransaction(): No transaction in progress!");
    QVERIFY(!m_store->rollbackTransaction());
    QCOMPARE(m_store->transactionLevel(), 0u);
}

void DataStoreTest::closeRollsBackWholeNesting()
{
    // A store of its own, so closing it leaves the shared one alone.
    DataStore *other = nullptr;
    qint64 itemId = -1;
    bool rolledBackOnce = false;
    QThread *thread = QThread::create([&] {
        other = DataStore::self();
        QSignalSpy rolledBack(other, &DataStore::transactionRolledBack);
        other->beginTransaction();
        other->beginTransaction();
        other->beginTransaction();
        PimItem item;
        item.setRemoteId(QStringLiteral("closed"));
        item.insert();
        itemId = item.id();
        other->close();
        rolledBackOnce = rolledBack.count() == 1 && other->transactionLevel() == 0 && !other->isOpened();
    });
    thread->start();
    QVERIFY(thread->wait(30000));
    delete thread;
    QVERIFY(itemId > 0);
    QVERIFY(rolledBackOnce);
    QVERIFY(!PimItem::retrieveById(itemId).isValid());
}

void DataStoreTest::scopedTransaction()
{
    qint64 id = -1;
    {
        Transaction transaction(m_store);
        id = appendItem(QStringLiteral("scoped")).id();
        QVERIFY(id > 0);
    }
    QVERIFY(!m_store->inTransaction());
    QVERIFY(!PimItem::retrieveById(id).isValid());

    Transaction transaction(m_store);
    id = appendItem(QStringLiteral("scoped-committed")).id();
    QVERIFY(transaction.commit());
    QVERIFY(PimItem::retrieveById(id).isValid());
}

void DataStoreTest::notificationsFollowTransactions()
{
    m_store->setSessionId("session-1");

    // Rolled back: nothing is announced.
    {
        Transaction transaction(m_store);
        QVERIFY(appendItem(QStringLiteral("n-rolled-back")).isValid());
    }
    QCOMPARE(m_notifications->count(), 0);

    // Committed: one list, sent by the commit.
    Transaction transaction(m_store);
    const PimItem item = appendItem(QStringLiteral("n-committed"));
    QVERIFY(item.isValid());
    QVERIFY(m_store->setItemFlags(item, {Flag::retrieveByName(QStringLiteral("\\SEEN"))}));
    QVERIFY(m_store->setItemFlags(item, {Flag::retrieveByName(QStringLiteral("important"))}));
    QCOMPARE(m_notifications->count(), 0);
    QVERIFY(transaction.commit());
    QCOMPARE(m_notifications->count(), 1);

    const NotificationMessage::List msgs = collected(*m_notifications);
    QCOMPARE(msgs.size(), 2); // the two flag changes were merged
    const NotificationMessage &added = msgs.at(0);
    QCOMPARE(added.type(), int(NotificationMessage::Item));
    QCOMPARE(added.operation(), int(NotificationMessage::Add));
    QCOMPARE(added.sessionId(), QByteArray("session-1"));
    QCOMPARE(added.uid(), item.id());
    QCOMPARE(added.remoteId(), QStringLiteral("n-committed"));
    QCOMPARE(added.parentCollection(), m_collection.id());
    QCOMPARE(added.mimeType(), QStringLiteral("message/rfc822"));
    QCOMPARE(added.resource(), QByteArray("datastoretest"));
    QCOMPARE(msgs.at(1).operation(), int(NotificationMessage::Modify));
    QCOMPARE(msgs.at(1).itemParts(), QSet<QByteArray>{"FLAGS"});

    // Outside a transaction a change leaves at once.
    m_notifications->clear();
    QVERIFY(m_store->removeItemFlags(item, {Flag::retrieveByName(QStringLiteral("important"))}));
    QCOMPARE(m_notifications->count(), 1);
    m_store->setSessionId(QByteArray());
}

void DataStoreTest::appendPimItem()
{
    const QByteArray small(10, 's');
    QList<Part> parts{makePart("PLD:RFC822", small), makePart("ATR:HIDDEN", QByteArray("1"))};
    parts[0].setDatasize(0); // a declared size below the data's is raised to it
    const QDateTime when(QDate(2020, 5, 17), QTime(10, 11, 12), Qt::UTC);

    Transaction transaction(m_store);
    PimItem local;
    QVERIFY(m_store->appendPimItem(parts, m_mimeType, m_collection, when, QString(), QStringLiteral("rev1"), local));
    PimItem remote;
    QList<Part> none;
    QVERIFY(m_store->appendPimItem(none, m_mimeType, m_collection, QDateTime(), QStringLiteral("rid"), QString(), remote));
    QVERIFY(transaction.commit());

    const PimItem stored = PimItem::retrieveById(local.id());
    QVERIFY(stored.isValid());
    QCOMPARE(stored.dirty(), true); // made here, not yet known to its resource
    QCOMPARE(stored.collectionId(), m_collection.id());
    QCOMPARE(stored.mimeTypeId(), m_mimeType.id());
    QCOMPARE(stored.remoteRevision(), QStringLiteral("rev1"));
    QCOMPARE(stored.datetime().toUTC(), when);
    QVERIFY(stored.atime().isValid());
    QCOMPARE(PimItem::retrieveById(remote.id()).dirty(), false);
    QVERIFY(PimItem::retrieveById(remote.id()).datetime().isValid()); // the column default

    const QList<Part> storedParts = stored.parts();
    QCOMPARE(storedParts.size(), 2);
    for (const Part &part : storedParts) {
        if (part.name() == QLatin1String("PLD:RFC822")) {
            QCOMPARE(part.datasize(), qint64(10));
            QCOMPARE(PartHelper::translateData(part), small);
        } else {
            QCOMPARE(part.name(), QStringLiteral("ATR:HIDDEN"));
        }
    }
}

void DataStoreTest::appendPimItemFailure()
{
    // An item has each part name at most once: the second part is refused and the whole
    // append is undone by the caller's transaction.
    QList<Part> parts{makePart("PLD:RFC822", "a"), makePart("PLD:RFC822", "b")};
    qint64 before = PimItem::count(PimItem::remoteIdColumn(), QStringLiteral("dup-parts"));
    {
        Transaction transaction(m_store);
        PimItem item;
        QVERIFY(!m_store->appendPimItem(parts, m_mimeType, m_collection, QDateTime(), QStringLiteral("dup-parts"),
                                        QString(), item));
    }
    QCOMPARE(PimItem::count(PimItem::remoteIdColumn(), QStringLiteral("dup-parts")), before);
    QCOMPARE(m_notifications->count(), 0);
}

void DataStoreTest::itemFlags()
{
    const PimItem item = appendItem(QStringLiteral("flags"));
    QVERIFY(item.isValid());
    const Flag seen = Flag::retrieveByName(QStringLiteral("\\SEEN"));
    const Flag flagged = Flag::retrieveByName(QStringLiteral("\\FLAGGED"));
    const Flag deleted = Flag::retrieveByName(QStringLiteral("\\DELETED"));
    QCOMPARE(seen.id(), qint64(7));

    QVERIFY(m_store->setItemFlags(item, {seen, flagged}));
    QCOMPARE(item.flags().size(), 2);
    QVERIFY(m_store->setItemFlags(item, {deleted}));
    QCOMPARE(item.flags(), QList<Flag>{deleted});

    m_notifications->clear();
    bool changed = true;
    QVERIFY(m_store->appendItemFlags(item, {deleted}, changed));
    QVERIFY(!changed);
    QCOMPARE(m_notifications->count(), 0);

    QVERIFY(m_store->appendItemFlags(item, {deleted, seen}, changed, true, m_collection));
    QVERIFY(changed);
    QCOMPARE(item.flags().size(), 2);
    QCOMPARE(m_notifications->count(), 1);

    // Without the check an existing flag is added again, which the relation's key refuses.
    QVERIFY(!m_store->appendItemFlags(item, {seen}, changed, false));
    QVERIFY(changed);

    QVERIFY(!m_store->appendItemFlags(PimItem(), {seen}, changed));
    QVERIFY(!changed);
    QVERIFY(m_store->appendItemFlags(item, {}, changed));

    QVERIFY(m_store->removeItemFlags(item, {seen, deleted}));
    QVERIFY(item.flags().isEmpty());
}

void DataStoreTest::flagsOfManyItems()
{
    // Twin sets side by side, every other item in each, so the ids of one set do not fit a single
    // statement: the operations on many items run on one set, the item-by-item ones on the other,
    // and both must change the same flags and record the same notifications in the same order.
    const int count = 1200;
    QList<PimItem> bulk;
    QList<PimItem> single;
    {
        Transaction transaction(m_store);
        for (int i = 0; i < count; ++i) {
            const PimItem item = appendItem(QStringLiteral("many-%1").arg(i));
            QVERIFY(item.isValid());
            (i % 2 == 0 ? bulk : single).append(item);
        }
        QVERIFY(transaction.commit());
    }
    const Flag seen = Flag::retrieveByName(QStringLiteral("\\SEEN"));
    const Flag flagged = Flag::retrieveByName(QStringLiteral("\\FLAGGED"));
    const Flag deleted = Flag::retrieveByName(QStringLiteral("\\DELETED"));
    // Every third item has \SEEN already, every fifth \SEEN and \FLAGGED.
    Transaction presets(m_store);
    for (const QList<PimItem> *set : {&bulk, &single}) {
        for (qsizetype i = 0; i < set->size(); ++i) {
            if (i % 5 == 0)
                QVERIFY(m_store->setItemFlags(set->at(i), {seen, flagged}));
            else if (i % 3 == 0)
                QVERIFY(m_store->setItemFlags(set->at(i), {seen}));
        }
    }
    const qint64 outside = appendItem(QStringLiteral("many-outside")).id();
    QVERIFY(presets.commit());

    using Step = std::function<bool(DataStore *, const QList<PimItem> &, bool &)>;
    const auto compare = [&](const char *what, const Step &many, const Step &oneByOne) {
        m_notifications->clear();
        bool changedMany = false;
        {
            Transaction transaction(m_store);
            if (!many(m_store, bulk, changedMany) || !transaction.commit())
                return QStringLiteral("%1 on many items failed").arg(QLatin1String(what));
        }
        const NotificationMessage::List fromMany = collected(*m_notifications);
        m_notifications->clear();
        bool changedSingle = false;
        {
            Transaction transaction(m_store);
            for (const PimItem &item : std::as_const(single)) {
                bool changed = false;
                if (!oneByOne(m_store, {item}, changed))
                    return QStringLiteral("%1 item by item failed").arg(QLatin1String(what));
                changedSingle = changedSingle || changed;
            }
            if (!transaction.commit())
                return QStringLiteral("%1 item by item failed").arg(QLatin1String(what));
        }
        const NotificationMessage::List fromSingle = collected(*m_notifications);
        if (changedMany != changedSingle)
            return QStringLiteral("%1: changed %2 against %3").arg(QLatin1String(what)).arg(changedMany).arg(changedSingle);
        if (fromMany.size() != fromSingle.size())
            return QStringLiteral("%1: %2 records against %3").arg(QLatin1String(what)).arg(fromMany.size()).arg(fromSingle.size());
        for (qsizetype i = 0; i < fromMany.size(); ++i) {
            const qsizetype many = bulk.indexOf(PimItem::retrieveById(fromMany.at(i).uid()));
            const qsizetype one = single.indexOf(PimItem::retrieveById(fromSingle.at(i).uid()));
            if (many < 0 || many != one || shapeOf(fromMany.at(i)) != shapeOf(fromSingle.at(i)))
                return QStringLiteral("%1: record %2 differs").arg(QLatin1String(what)).arg(i);
        }
        for (qsizetype i = 0; i < bulk.size(); ++i) {
            if (flagIdsOf(bulk.at(i)) != flagIdsOf(single.at(i)))
                return QStringLiteral("%1: flags of item %2 differ").arg(QLatin1String(what)).arg(i);
        }
        return QString();
    };

    // Adding skips the items that have the flag, and records only the others; a second time
    // there is nothing to add, to write or to record.
    const Step addSeenToMany = [&](DataStore *store, const QList<PimItem> &items, bool &changed) {
        return store->appendItemsFlags(items, {seen}, changed);
    };
    const Step addSeenToOne = [&](DataStore *store, const QList<PimItem> &items, bool &changed) {
        return store->appendItemFlags(items.first(), {seen}, changed);
    };
    QCOMPARE(compare("add", addSeenToMany, addSeenToOne), QString());
    QCOMPARE(m_notifications->count(), 1);
    QCOMPARE(flagIdsOf(bulk.at(1)), QList<qint64>{seen.id()});
    QVERIFY(flagIdsOf(PimItem::retrieveById(outside)).isEmpty());
    QCOMPARE(compare("add again", addSeenToMany, addSeenToOne), QString());

    // Replacing writes the items whose flags differ, as STORE did item by item.
    QList<qint64> seenAndFlagged{seen.id(), flagged.id()};
    std::sort(seenAndFlagged.begin(), seenAndFlagged.end());
    QCOMPARE(compare("replace",
                     [&](DataStore *store, const QList<PimItem> &items, bool &changed) {
                         return store->setItemsFlags(items, {flagged, seen}, changed);
                     },
                     [&](DataStore *store, const QList<PimItem> &items, bool &changed) {
                         changed = flagIdsOf(items.first()) != seenAndFlagged;
                         return !changed || store->setItemFlags(items.first(), {flagged, seen});
                     }),
             QString());

    // Removing counts as a change of every item.
    QCOMPARE(compare("remove",
                     [&](DataStore *store, const QList<PimItem> &items, bool &changed) {
                         changed = true;
                         return store->removeItemsFlags(items, {flagged, deleted});
                     },
                     [&](DataStore *store, const QList<PimItem> &items, bool &changed) {
                         changed = true;
                         return store->removeItemFlags(items.first(), {flagged, deleted});
                     }),
             QString());
    QCOMPARE(flagIdsOf(bulk.last()), QList<qint64>{seen.id()});

    // Without the check a flag an item has already is refused, as for one item.
    Transaction transaction(m_store);
    bool changed = false;
    QVERIFY(!m_store->appendItemsFlags(bulk, {deleted, seen}, changed, false));
}

void DataStoreTest::statementCache()
{
    StatementCache &cache = m_store->statementCache();
    const auto flagNamed = [](const QString &name) {
        SelectQueryBuilder<Flag> qb;
        qb.addValueCondition(Flag::nameColumn(), Query::Equals, name);
        return qb;
    };

    // One text, three uses: prepared once.
    const qint64 misses = cache.misses();
    for (const QString &name : {QStringLiteral("\\SEEN"), QStringLiteral("\\DRAFT"), QStringLiteral("spam")}) {
        SelectQueryBuilder<Flag> qb = flagNamed(name);
        QVERIFY(qb.exec());
        QCOMPARE(qb.result().value(0).name(), name);
    }
    QCOMPARE(cache.misses() - misses, 1);

    // Two users of one text at once each get a statement of their own and read their own rows;
    // both are kept afterwards.
    {
        SelectQueryBuilder<Flag> outer = flagNamed(QStringLiteral("\\SEEN"));
        QVERIFY(outer.exec());
        SelectQueryBuilder<Flag> inner = flagNamed(QStringLiteral("\\DRAFT"));
        QVERIFY(inner.exec());
        QCOMPARE(inner.result().value(0).name(), QStringLiteral("\\DRAFT"));
        QCOMPARE(outer.result().value(0).name(), QStringLiteral("\\SEEN"));
    }
    QCOMPARE(cache.misses() - misses, 2);
    for (int i = 0; i < 2; ++i) {
        SelectQueryBuilder<Flag> qb = flagNamed(QStringLiteral("spam"));
        QVERIFY(qb.exec());
    }
    QCOMPARE(cache.misses() - misses, 2);

    // A statement that failed is not used again.
    const auto insertFlag = [] {
        QueryBuilder qb(Flag::tableName(), QueryBuilder::InsertStatement);
        qb.setColumnValue(Flag::nameColumn(), QStringLiteral("\\SEEN")); // the name is taken
        return qb.exec();
    };
    const int kept = cache.size();
    QVERIFY(!insertFlag());
    QCOMPARE(cache.size(), kept);
    QVERIFY(!insertFlag());
    QCOMPARE(cache.misses() - misses, 4);

    // A statement lent out while the cache is cleared is dropped when it comes back.
    {
        SelectQueryBuilder<Flag> lent = flagNamed(QStringLiteral("\\SEEN"));
        QVERIFY(lent.exec());
        cache.clear();
        QCOMPARE(cache.size(), 0);
    }
    QCOMPARE(cache.size(), 0);
}

void DataStoreTest::statementCacheAfterSchemaChange()
{
    // The columns of "SELECT *" follow the table; a statement prepared before a column came would
    // still describe the old table (PostgreSQL refuses to run it at all).
    const auto probe = [] {
        QueryBuilder qb(QStringLiteral("CacheProbe"));
        qb.addColumn(QStringLiteral("*"));
        qb.addSortColumn(QStringLiteral("a"));
        QStringList row;
        if (!qb.exec() || !qb.query().next())
            return QStringList{QStringLiteral("<failed>")};
        for (int i = 0; i < qb.query().record().count(); ++i)
            row.append(qb.query().value(i).toString());
        return row;
    };
    const auto run = [this](const QString &statement) {
        QSqlQuery query(m_store->database());
        return query.exec(statement);
    };
    QVERIFY(run(QStringLiteral("CREATE TABLE CacheProbe (a INTEGER)")));
    QVERIFY(run(QStringLiteral("INSERT INTO CacheProbe (a) VALUES (1)")));
    QCOMPARE(probe(), QStringList{QStringLiteral("1")});

    // Schema changes go through init(), which forgets what was prepared.
    QVERIFY(run(QStringLiteral("ALTER TABLE CacheProbe ADD COLUMN b INTEGER")));
    QVERIFY(run(QStringLiteral("UPDATE CacheProbe SET b = 2")));
    QVERIFY(m_store->init());
    QCOMPARE(probe(), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));

    // Closing drops the statements with the connection; the next ones are prepared anew.
    QVERIFY(m_store->statementCache().size() > 0);
    m_store->close();
    QCOMPARE(m_store->statementCache().size(), 0);
    m_store->open();
    QVERIFY(m_store->isOpened());
    QCOMPARE(probe(), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QVERIFY(run(QStringLiteral("DROP TABLE CacheProbe")));
}

void DataStoreTest::removeItemPartsAndUnhide()
{
    const QByteArray big(5000, 'b');
    PimItem item = appendItem(QStringLiteral("parts"), {makePart("PLD:RFC822", big), makePart("PLD:HEAD", "head"),
                                                        makePart("ATR:HIDDEN", "")});
    QVERIFY(item.isValid());
    const PimItem other = appendItem(QStringLiteral("parts-other"), {makePart("ATR:HIDDEN", "")});
    QVERIFY(other.isValid());

    QString file;
    for (const Part &part : item.parts()) {
        if (part.external()) {
            file = QString::fromUtf8(part.data());
        }
    }
    QVERIFY(QFile::exists(file));

    m_notifications->clear();
    QVERIFY(m_store->removeItemParts(item, {"PLD:RFC822", "PLD:NOSUCH"}));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(item.parts().size(), 2);
    const NotificationMessage::List msgs = collected(*m_notifications);
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs.first().itemParts(), (QSet<QByteArray>{"PLD:RFC822", "PLD:NOSUCH"}));

    QVERIFY(m_store->unhidePimItem(item));
    QCOMPARE(item.parts().size(), 1);
    QCOMPARE(other.parts().size(), 1);
    QVERIFY(m_store->unhideAllPimItems());
    QVERIFY(other.parts().isEmpty());
}

void DataStoreTest::invalidateItemCache()
{
    const QByteArray big(6000, 'c');
    PimItem clean = appendItem(QStringLiteral("cache-clean"),
                               {makePart("PLD:RFC822", big), makePart("PLD:HEAD", "h"), makePart("ATR:FLAG", "keep")});
    QVERIFY(clean.isValid());
    PimItem dirty = appendItem(QString(), {makePart("PLD:RFC822", "unsaved")});
    QVERIFY(dirty.isValid());

    QString file;
    for (const Part &part : clean.parts()) {
        if (part.external()) {
            file = QString::fromUtf8(part.data());
        }
    }
    QVERIFY(QFile::exists(file));

    QVERIFY(m_store->invalidateItemCache(clean));
    QVERIFY(m_store->invalidateItemCache(dirty));
    QVERIFY(!QFile::exists(file));
    for (const Part &part : clean.parts()) {
        if (part.name().startsWith(QLatin1String("PLD:"))) {
            QCOMPARE(part.datasize(), qint64(0));
            QVERIFY(part.data().isEmpty());
        } else {
            QCOMPARE(part.data(), QByteArray("keep"));
        }
    }
    // Unsaved changes are never dropped.
    QCOMPARE(dirty.parts().first().data(), QByteArray("unsaved"));
}

void DataStoreTest::cleanupPimItem()
{
    const QByteArray big(4097, 'x');
    PimItem item = appendItem(QStringLiteral("cleanup"), {makePart("PLD:RFC822", big), makePart("PLD:HEAD", "h")});
    QVERIFY(item.isValid());
    item.setRemoteRevision(QStringLiteral("rr7"));
    QVERIFY(m_store->setItemFlags(item, {Flag::retrieveByName(QStringLiteral("\\SEEN"))}));
    const Collection search = Collection::retrieveByName(QStringLiteral("Search"));
    QVERIFY(search.addPimItem(item));
    QString file;
    for (const Part &part : item.parts()) {
        if (part.external()) {
            file = QString::fromUtf8(part.data());
        }
    }
    QVERIFY(QFile::exists(file));

    m_notifications->clear();
    Transaction transaction(m_store);
    QVERIFY(m_store->cleanupPimItem(item));
    QVERIFY(transaction.commit());

    QVERIFY(!PimItem::retrieveById(item.id()).isValid());
    QCOMPARE(Part::count(Part::pimItemIdColumn(), item.id()), 0);
    QVERIFY(!PimItem::relatesToFlag(item.id(), 7));
    QVERIFY(!Collection::relatesToPimItem(search.id(), item.id()));
    QVERIFY(!QFile::exists(file));
    const NotificationMessage::List msgs = collected(*m_notifications);
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs.first().operation(), int(NotificationMessage::Remove));
    QCOMPARE(msgs.first().itemParts(), QSet<QByteArray>{"rr7"});
    QCOMPARE(msgs.first().parentCollection(), m_collection.id());

    QVERIFY(!m_store->cleanupPimItem(PimItem()));
}

void DataStoreTest::cleanupPimItems()
{
    Collection collection = makeCollection(m_resource.id());
    QVERIFY(m_store->appendCollection(collection));
    const Flag deleted = Flag::retrieveByName(QStringLiteral("\\DELETED"));
    QList<qint64> doomed;
    QList<qint64> kept;
    for (int i = 0; i < 4; ++i) {
        PimItem item;
        QList<Part> parts{makePart("PLD:RFC822", QByteArray::number(i))};
        QVERIFY(m_store->appendPimItem(parts, m_mimeType, collection, QDateTime(), QString::number(i), QString(), item));
        if (i % 2 == 0) {
            QVERIFY(m_store->setItemFlags(item, {deleted}));
            doomed.append(item.id());
        } else {
            kept.append(item.id());
        }
    }
    // A deleted item elsewhere stays.
    const PimItem elsewhere = appendItem(QStringLiteral("deleted-elsewhere"));
    QVERIFY(m_store->setItemFlags(elsewhere, {deleted}));

    QVERIFY(m_store->cleanupPimItems(collection));
    for (qint64 id : doomed) {
        QVERIFY(!PimItem::exists(id));
    }
    for (qint64 id : kept) {
        QVERIFY(PimItem::exists(id));
    }
    QVERIFY(PimItem::exists(elsewhere.id()));
    QVERIFY(!m_store->cleanupPimItems(Collection()));
}

void DataStoreTest::collections()
{
    Collection collection = makeCollection(m_resource.id());
    collection.setRemoteRevision(QStringLiteral("crev"));
    QVERIFY(m_store->appendCollection(collection));
    QVERIFY(collection.id() > 0);
    QVERIFY(Collection::retrieveById(collection.id()).isValid());
    QVERIFY(m_store->appendMimeTypeForCollection(collection.id(), {QStringLiteral("text/vcard")}));
    QVERIFY(m_store->addCollectionAttribute(collection, "ATTR", "value"));
    const PimItem item = [&] {
        PimItem i;
        QList<Part> parts{makePart("PLD:DATA", "d")};
        m_store->appendPimItem(parts, m_mimeType, collection, QDateTime(), QStringLiteral("in-col"), QString(), i);
        return i;
    }();
    QVERIFY(item.isValid());

    // Below one parent a name is taken once.
    Collection child = makeCollection(m_resource.id(), collection.id(), QStringLiteral("child"));
    QVERIFY(m_store->appendCollection(child));
    Collection twin = makeCollection(m_resource.id(), collection.id(), QStringLiteral("child"));
    QVERIFY(!m_store->appendCollection(twin));
    // The caller removes children first.
    QVERIFY(m_store->cleanupCollection(child));

    m_notifications->clear();
    QVERIFY(m_store->cleanupCollection(collection));
    QVERIFY(!Collection::retrieveById(collection.id()).isValid());
    QVERIFY(!PimItem::exists(item.id()));
    QVERIFY(collection.mimeTypes().isEmpty());
    QCOMPARE(CollectionAttribute::count(CollectionAttribute::collectionIdColumn(), collection.id()), 0);
    const NotificationMessage::List msgs = collected(*m_notifications);
    QCOMPARE(msgs.last().type(), int(NotificationMessage::Collection));
    QCOMPARE(msgs.last().operation(), int(NotificationMessage::Remove));
    QCOMPARE(msgs.last().itemParts(), QSet<QByteArray>{"crev"});
    QCOMPARE(msgs.last().resource(), QByteArray("datastoretest"));
}

void DataStoreTest::moveCollection()
{
    Collection top = makeCollection(m_resource.id());
    QVERIFY(m_store->appendCollection(top));
    Collection child = makeCollection(m_resource.id(), top.id(), QStringLiteral("child"));
    QVERIFY(m_store->appendCollection(child));
    Collection grandChild = makeCollection(m_resource.id(), child.id());
    QVERIFY(m_store->appendCollection(grandChild));
    Collection other = makeCollection(m_resource.id());
    QVERIFY(m_store->appendCollection(other));
    Collection otherChild = makeCollection(m_resource.id(), other.id(), QStringLiteral("child"));
    QVERIFY(m_store->appendCollection(otherChild));

    // Into its own subtree, onto itself, or next to a sibling of the same name: refused.
    QVERIFY(!m_store->moveCollection(top, grandChild));
    QVERIFY(!m_store->moveCollection(top, top));
    QVERIFY(!m_store->moveCollection(child, other));
    QVERIFY(!m_store->moveCollection(child, Collection()));
    QCOMPARE(Collection::retrieveById(child.id()).parentId(), top.id());

    // To the current parent: nothing to do.
    m_notifications->clear();
    QVERIFY(m_store->moveCollection(child, top));
    QCOMPARE(m_notifications->count(), 0);

    QVERIFY(m_store->moveCollection(grandChild, other));
    QCOMPARE(Collection::retrieveById(grandChild.id()).parentId(), other.id());
    const NotificationMessage::List msgs = collected(*m_notifications);
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs.first().operation(), int(NotificationMessage::Move));
    QCOMPARE(msgs.first().parentCollection(), child.id());
    QCOMPARE(msgs.first().parentDestCollection(), other.id());
    QCOMPARE(msgs.first().itemParts(), QSet<QByteArray>{"PARENT"});

    // To the root.
    Collection root;
    root.setId(0);
    QVERIFY(m_store->moveCollection(grandChild, root));
    QVERIFY(Collection::retrieveById(grandChild.id()).parentId() <= 0);
}

void DataStoreTest::moveCollectionChangesResourceOfSubtree()
{
    Resource target(QStringLiteral("move-target"), false);
    QVERIFY(target.insert());
    Collection targetTop = makeCollection(target.id());
    QVERIFY(m_store->appendCollection(targetTop));

    Collection top = makeCollection(m_resource.id());
    QVERIFY(m_store->appendCollection(top));
    Collection child = makeCollection(m_resource.id(), top.id());
    QVERIFY(m_store->appendCollection(child));
    Collection grandChild = makeCollection(m_resource.id(), child.id());
    QVERIFY(m_store->appendCollection(grandChild));
    QCOMPARE(Collection::retrieveById(grandChild.id()).resourceId(), m_resource.id());

    Transaction transaction(m_store);
    QVERIFY(m_store->moveCollection(top, targetTop));
    QVERIFY(transaction.commit());

    // Read through the record cache, which holds the children from before the move.
    QCOMPARE(Collection::retrieveById(top.id()).resourceId(), target.id());
    QCOMPARE(Collection::retrieveById(child.id()).resourceId(), target.id());
    QCOMPARE(Collection::retrieveById(grandChild.id()).resourceId(), target.id());
}

void DataStoreTest::activeCachePolicy()
{
    Collection top = makeCollection(m_resource.id());
    QVERIFY(top.insert());
    Collection fromTop = top;
    DataStore::activeCachePolicy(fromTop);
    QCOMPARE(fromTop.cachePolicyCheckInterval(), -1);
    QCOMPARE(fromTop.cachePolicyCacheTimeout(), -1);
    QCOMPARE(fromTop.cachePolicySyncOnDemand(), false);
    QCOMPARE(fromTop.cachePolicyLocalParts(), QStringLiteral("ALL"));

    Collection own = makeCollection(m_resource.id(), top.id());
    own.setCachePolicyInherit(false);
    own.setCachePolicyCheckInterval(5);
    own.setCachePolicyCacheTimeout(60);
    own.setCachePolicySyncOnDemand(true);
    own.setCachePolicyLocalParts(QStringLiteral("PLD:HEAD"));
    QVERIFY(own.insert());
    Collection middle = makeCollection(m_resource.id(), own.id());
    QVERIFY(middle.insert());
    Collection leaf = makeCollection(m_resource.id(), middle.id());
    QVERIFY(leaf.insert());

    DataStore::activeCachePolicy(leaf);
    QCOMPARE(leaf.cachePolicyCheckInterval(), 5);
    QCOMPARE(leaf.cachePolicyCacheTimeout(), 60);
    QCOMPARE(leaf.cachePolicySyncOnDemand(), true);
    QCOMPARE(leaf.cachePolicyLocalParts(), QStringLiteral("PLD:HEAD"));
    // In memory only.
    QCOMPARE(Collection::retrieveById(leaf.id()).cachePolicyCheckInterval(), -1);

    Collection self = own;
    self.setCachePolicyCheckInterval(7);
    DataStore::activeCachePolicy(self);
    QCOMPARE(self.cachePolicyCheckInterval(), 7);
}

void DataStoreTest::mimeTypes()
{
    qint64 id = -1;
    QVERIFY(m_store->appendMimeType(QStringLiteral("application/x-test"), &id));
    QVERIFY(id > 5);
    QVERIFY(!m_store->appendMimeType(QStringLiteral("application/x-test")));

    Collection collection = makeCollection(m_resource.id());
    QVERIFY(collection.insert());
    QVERIFY(m_store->appendMimeTypeForCollection(collection.id(), {}));
    QVERIFY(m_store->appendMimeTypeForCollection(
        collection.id(), {QStringLiteral("text/calendar"), QStringLiteral("application/x-new"), QStringLiteral("application/x-test")}));
    QStringList names;
    for (const MimeType &mimeType : collection.mimeTypes()) {
        names.append(mimeType.name());
    }
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("application/x-new"), QStringLiteral("application/x-test"),
                                 QStringLiteral("text/calendar")}));
    QVERIFY(MimeType::exists(QStringLiteral("application/x-new")));
    // Already related: the relation's key refuses a second row.
    QVERIFY(!m_store->appendMimeTypeForCollection(collection.id(), {QStringLiteral("text/calendar")}));
}

void DataStoreTest::collectionAttributes()
{
    Collection collection = makeCollection(m_resource.id());
    QVERIFY(collection.insert());

    m_notifications->clear();
    Transaction transaction(m_store);
    QVERIFY(m_store->addCollectionAttribute(collection, "KEY", "v1"));
    QVERIFY(!m_store->addCollectionAttribute(collection, "KEY", "v2"));
    QVERIFY(m_store->addCollectionAttribute(collection, "OTHER", "o"));
    QVERIFY(transaction.commit());
    QCOMPARE(collection.attributes().size(), 2);
    const NotificationMessage::List msgs = collected(*m_notifications);
    QCOMPARE(msgs.size(), 1); // two changes of the same collection, merged
    QCOMPARE(msgs.first().operation(), int(NotificationMessage::Modify));
    QCOMPARE(msgs.first().itemParts(), (QSet<QByteArray>{"KEY", "OTHER"}));

    QVERIFY(m_store->removeCollectionAttribute(collection, "KEY"));
    QVERIFY(m_store->removeCollectionAttribute(collection, "NOSUCH"));
    const QList<CollectionAttribute> left = collection.attributes();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().type(), QByteArray("OTHER"));
}

void DataStoreTest::highestPimItemId()
{
    const PimItem item = appendItem(QStringLiteral("highest"));
    QVERIFY(item.isValid());
    QCOMPARE(m_store->highestPimItemId(), item.id());
    QCOMPARE(m_store->uidNext(), item.id() + 1);

    // An empty table gives 0, so the first uid is 1. Emptied in a transaction that is never
    // committed, so the other tests' items come back.
    qint64 highest = -2;
    QThread *thread = QThread::create([&] {
        Transaction transaction(DataStore::self());
        QueryBuilder removeAll(PimItem::tableName(), QueryBuilder::DeleteStatement);
        removeAll.exec();
        highest = DataStore::self()->highestPimItemId();
    });
    thread->start();
    QVERIFY(thread->wait(30000));
    delete thread;
    QCOMPARE(highest, qint64(0));
}

QTEST_GUILESS_MAIN(DataStoreTest)

#include "tst_datastore.moc"

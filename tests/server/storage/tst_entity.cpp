#include "teststorage.h"

#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/querybuilder.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

using namespace Talvori;

class EntityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void names();
    void valueSemantics();
    void lookups();
    void foreignKeysOfZeroStayNull();
    void filteredByNull();
    void cachesServeWithoutDatabase();
    void removeInvalidatesCaches();
    void relations();
    void schemaVersionUpdateHasNoWhere();
    void failuresAreReported();

private:
    TestStorage m_storage;
};

void EntityTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
}

void EntityTest::names()
{
    QCOMPARE(Flag::tableName(), QStringLiteral("FlagTable"));
    QCOMPARE(Part::pimItemIdFullColumnName(), QStringLiteral("PartTable.pimItemId"));
    QCOMPARE(PimItem::columnNames().first(), QStringLiteral("rev"));
    QCOMPARE(PimItem::columnNames().size(), 9);
    QCOMPARE(Flag::fullColumnNames(), (QStringList{QStringLiteral("FlagTable.id"), QStringLiteral("FlagTable.name")}));
    QCOMPARE(SchemaVersion::columnNames(), QStringList{QStringLiteral("version")});
    QCOMPARE(PimItemFlagRelation::tableName(), QStringLiteral("PimItemFlagRelation"));
    QCOMPARE(PimItemFlagRelation::leftFullColumnName(), QStringLiteral("PimItemFlagRelation.PimItem_id"));
    QCOMPARE(CollectionMimeTypeRelation::rightColumn(), QStringLiteral("MimeType_id"));
}

void EntityTest::valueSemantics()
{
    const Flag empty;
    QVERIFY(!empty.isValid());
    QVERIFY(!empty.hasPendingChanges());
    QVERIFY(empty.name().isEmpty());

    Flag original(3, QStringLiteral("three"));
    QVERIFY(original.hasPendingChanges());
    Flag copy = original;
    copy.setName(QStringLiteral("changed"));
    QCOMPARE(original.name(), QStringLiteral("three")); // the setter detached the copy
    QVERIFY(copy == original);                          // same id, same row

    QString text;
    QDebug(&text) << Flag(7, QStringLiteral("\\SEEN"));
    QCOMPARE(text, QStringLiteral("[Flag: id = 7, name = \"\\\\SEEN\"] "));

    // Loaded records count every column as changed, so update() rewrites the whole row.
    QVERIFY(Flag::retrieveById(1).hasPendingChanges());
}

void EntityTest::lookups()
{
    const Flag seen = Flag::retrieveByName(QStringLiteral("\\SEEN"));
    QCOMPARE(seen.id(), qint64(7));
    QCOMPARE(Flag::retrieveById(7).name(), QStringLiteral("\\SEEN"));
    QVERIFY(!Flag::retrieveById(-1).isValid());
    QVERIFY(!Flag::retrieveById(123456).isValid());
    QVERIFY(!Flag::retrieveByName(QStringLiteral("nosuch")).isValid());
    QCOMPARE(Flag::retrieveAll().size(), Flag::count(QStringLiteral("1"), 1));
    QVERIFY(Flag::exists(QStringLiteral("spam")));
    QVERIFY(!Flag::exists(QStringLiteral("ham")));
    QCOMPARE(Resource::retrieveById(1).isVirtual(), true);
    QCOMPARE(Collection::retrieveByName(QStringLiteral("Search")).resource().name(),
             QStringLiteral("talvori_search_resource"));
    QCOMPARE(MimeType::retrieveById(5).name(), QStringLiteral("inode/directory"));
}

void EntityTest::foreignKeysOfZeroStayNull()
{
    Resource resource(QStringLiteral("fk"), false);
    QVERIFY(resource.insert());
    Collection top;
    top.setName(QStringLiteral("fk-top"));
    top.setResourceId(resource.id());
    top.setParentId(0);
    qint64 insertId = -1;
    QVERIFY(top.insert(&insertId));
    QCOMPARE(insertId, top.id());

    PimItem item;
    item.setCollectionId(top.id());
    QVERIFY(item.insert());
    item.setCollectionId(0);
    QVERIFY(item.update());

    QSqlQuery query(DataStore::self()->database());
    QVERIFY(query.exec(QStringLiteral("SELECT parentId FROM CollectionTable WHERE id = %1").arg(top.id())));
    QVERIFY(query.next());
    QVERIFY(query.isNull(0));
    QVERIFY(query.exec(QStringLiteral("SELECT collectionId FROM PimItemTable WHERE id = %1").arg(item.id())));
    QVERIFY(query.next());
    QVERIFY(query.isNull(0));
}

void EntityTest::filteredByNull()
{
    const QList<Collection> roots = Collection::retrieveFiltered(Collection::parentIdColumn(), QVariant());
    QVERIFY(!roots.isEmpty());
    for (const Collection &root : roots) {
        QCOMPARE(root.parentId(), qint64(0));
    }
    const QList<Flag> one = Flag::retrieveFiltered(Flag::nameColumn(), QStringLiteral("spam"));
    QCOMPARE(one.size(), 1);
    QCOMPARE(one.first().id(), qint64(3));
}

void EntityTest::cachesServeWithoutDatabase()
{
    // The data store enabled the caches of Flag, MimeType, Resource and Collection.
    Flag flag(QStringLiteral("cached-flag"));
    QVERIFY(flag.insert());
    QCOMPARE(Flag::retrieveByName(QStringLiteral("cached-flag")).id(), flag.id());

    // Changed behind the records' back: the cache still answers with the old row.
    QueryBuilder rename(Flag::tableName(), QueryBuilder::UpdateStatement);
    rename.setColumnValue(Flag::nameColumn(), QStringLiteral("renamed-flag"));
    rename.addValueCondition(Flag::idColumn(), Query::Equals, flag.id());
    QVERIFY(rename.exec());
    QCOMPARE(Flag::retrieveByName(QStringLiteral("cached-flag")).id(), flag.id());
    QCOMPARE(Flag::retrieveById(flag.id()).name(), QStringLiteral("cached-flag"));
    QVERIFY(Flag::exists(QStringLiteral("cached-flag")));

    Flag::invalidateCompleteCache();
    QVERIFY(!Flag::retrieveByName(QStringLiteral("cached-flag")).isValid());
    QCOMPARE(Flag::retrieveById(flag.id()).name(), QStringLiteral("renamed-flag"));

    // Part never caches.
    PimItem item;
    QVERIFY(item.insert());
    Part part(item.id(), QStringLiteral("PLD:X"), QByteArray("a"), 1, 0, false);
    QVERIFY(part.insert());
    QVERIFY(Part::retrieveById(part.id()).isValid());
    QSqlQuery query(DataStore::self()->database());
    QVERIFY(query.exec(QStringLiteral("DELETE FROM PartTable WHERE id = %1").arg(part.id())));
    QVERIFY(!Part::retrieveById(part.id()).isValid());
}

void EntityTest::removeInvalidatesCaches()
{
    Flag a(QStringLiteral("remove-a"));
    Flag b(QStringLiteral("remove-b"));
    QVERIFY(a.insert());
    QVERIFY(b.insert());
    const Flag loadedA = Flag::retrieveByName(QStringLiteral("remove-a"));
    QVERIFY(Flag::retrieveByName(QStringLiteral("remove-b")).isValid());

    QVERIFY(loadedA.isValid());
    Flag toRemove = loadedA;
    QVERIFY(toRemove.remove());
    QVERIFY(!Flag::exists(QStringLiteral("remove-a")));
    QVERIFY(!Flag::retrieveById(a.id()).isValid());

    QVERIFY(Flag::remove(Flag::nameColumn(), QStringLiteral("remove-b")));
    QVERIFY(!Flag::retrieveByName(QStringLiteral("remove-b")).isValid());
    QVERIFY(Flag::remove(b.id())); // nothing left to delete is no failure
}

void EntityTest::relations()
{
    PimItem item;
    QVERIFY(item.insert());
    const Flag seen = Flag::retrieveById(7);
    const Flag draft = Flag::retrieveById(8);
    QVERIFY(item.addFlag(seen));
    QVERIFY(PimItem::addFlag(item.id(), draft.id()));
    QVERIFY(!item.addFlag(seen)); // once per pair
    QVERIFY(item.relatesToFlag(seen));
    QCOMPARE(item.flags().size(), 2);
    QVERIFY(item.removeFlag(seen));
    QVERIFY(!PimItem::relatesToFlag(item.id(), seen.id()));
    QCOMPARE(item.flags(), QList<Flag>{draft});
    QVERIFY(item.clearFlags());
    QVERIFY(item.flags().isEmpty());

    Collection search = Collection::retrieveByName(QStringLiteral("Search"));
    QVERIFY(search.addPimItem(item));
    QCOMPARE(search.pimItems().size(), 1);
    QVERIFY(Entity::clearRelation<CollectionPimItemRelation>(item.id(), Entity::Right));
    QVERIFY(search.pimItems().isEmpty());
}

void EntityTest::schemaVersionUpdateHasNoWhere()
{
    QSqlQuery query(DataStore::self()->database());
    QVERIFY(query.exec(QStringLiteral("INSERT INTO SchemaVersionTable (version) VALUES (3)")));
    QList<SchemaVersion> versions = SchemaVersion::retrieveAll();
    QCOMPARE(versions.size(), 2);
    SchemaVersion version = versions.first();
    version.setVersion(21);
    QVERIFY(version.update());
    versions = SchemaVersion::retrieveAll();
    QCOMPARE(versions.size(), 2);
    QCOMPARE(versions.at(0).version(), 21);
    QCOMPARE(versions.at(1).version(), 21);
    QVERIFY(query.exec(QStringLiteral("DELETE FROM SchemaVersionTable")));
    QVERIFY(query.exec(QStringLiteral("INSERT INTO SchemaVersionTable (version) VALUES (19)")));
}

void EntityTest::failuresAreReported()
{
    // A name that is taken: the insert fails, names the table, and leaves the record invalid.
    Flag duplicate(QStringLiteral("\\SEEN"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error during executing query")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error during insertion into table FlagTable ")));
    QVERIFY(!duplicate.insert());
    QVERIFY(!duplicate.isValid());

    // No changed column: an empty SET list, refused by the database.
    Flag untouched;
    untouched.setId(1);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error during updating record with id 1  in table FlagTable")));
    QVERIFY(!untouched.update());

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error during executing query")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error during counting records in table FlagTable")));
    QCOMPARE(Flag::count(QStringLiteral("nosuchcolumn"), 1), -1);
}

QTEST_GUILESS_MAIN(EntityTest)

#include "tst_entity.moc"

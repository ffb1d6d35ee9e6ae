#include "teststorage.h"

#include "storage/countquerybuilder.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/itemqueryhelper.h"
#include "storage/querybuilder.h"
#include "storage/queryhelper.h"
#include "storage/selectquerybuilder.h"

#include <imapset.h>

#include <QSqlError>
#include <QTest>

#include <functional>

using namespace Talvori;

Q_DECLARE_METATYPE(QueryBuilder::DatabaseType)

namespace {

using BuilderFactory = std::function<QueryBuilder(QueryBuilder::DatabaseType)>;

QueryBuilder makeBuilder(const QString &table, QueryBuilder::QueryType type, QueryBuilder::DatabaseType dialect)
{
    QueryBuilder qb(table, type);
    qb.setDatabaseType(dialect);
    return qb;
}

ImapSet makeSet(const QList<QPair<qint64, qint64>> &intervals)
{
    ImapSet set;
    for (const auto &interval : intervals) {
        set.add(ImapInterval(interval.first, interval.second));
    }
    return set;
}

// Text with quotes, a backslash, a NUL byte and characters outside ASCII.
QString awkwardText()
{
    static const char raw[] = "it's \"quoted\" \\ back\0slash \xc3\xbc \xe2\x82\xac \xf0\x9f\x93\xa7";
    return QString::fromUtf8(raw, sizeof(raw) - 1);
}

} // namespace

class QueryBuilderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void statementText_data();
    void statementText();
    void setToQuery_data();
    void setToQuery();
    void driverNameToDatabaseType_data();
    void driverNameToDatabaseType();
    void itemQueryHelpers();
    void insertSelectUpdateDelete();
    void awkwardValuesRoundTrip();
    void setToQueryExecution();
    void updateWithJoin();
    void failedStatement();

private:
    void skipUnlessSqlite();

    TestStorage m_storage;
};

void QueryBuilderTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
}

void QueryBuilderTest::skipUnlessSqlite()
{
    // Statement text does not depend on the connection; checking it once is enough.
    if (!m_storage.backend().isSqlite()) {
        QSKIP("statement text is checked by the SQLite run");
    }
}

void QueryBuilderTest::statementText_data()
{
    QTest::addColumn<QueryBuilder::DatabaseType>("dialect");
    QTest::addColumn<BuilderFactory>("factory");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QVariantList>("values");

    const auto selectWithLimit = [](int limit) {
        return BuilderFactory([limit](QueryBuilder::DatabaseType dialect) {
            QueryBuilder qb = makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::SelectStatement, dialect);
            qb.addColumn(QStringLiteral("PimItemTable.id"));
            qb.addValueCondition(QStringLiteral("PimItemTable.collectionId"), Query::Equals, 5);
            qb.setLimit(limit);
            return qb;
        });
    };
    QTest::newRow("select, condition, limit 1") << QueryBuilder::Sqlite << selectWithLimit(1)
        << "SELECT PimItemTable.id FROM PimItemTable WHERE ( PimItemTable.collectionId = :0 ) LIMIT 1"
        << QVariantList{5};
    QTest::newRow("limit 0 adds nothing") << QueryBuilder::MySQL << selectWithLimit(0)
        << "SELECT PimItemTable.id FROM PimItemTable WHERE ( PimItemTable.collectionId = :0 )" << QVariantList{5};
    QTest::newRow("limit -1 adds nothing") << QueryBuilder::PostgreSQL << selectWithLimit(-1)
        << "SELECT PimItemTable.id FROM PimItemTable WHERE ( PimItemTable.collectionId = :0 )" << QVariantList{5};
    const auto selectForUpdate = BuilderFactory([](QueryBuilder::DatabaseType dialect) {
        QueryBuilder qb = makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::SelectStatement, dialect);
        qb.addColumn(QStringLiteral("PimItemTable.id"));
        qb.setLimit(2);
        qb.setForUpdate(true);
        return qb;
    });
    QTest::newRow("for update, MySQL") << QueryBuilder::MySQL << selectForUpdate
        << "SELECT PimItemTable.id FROM PimItemTable LIMIT 2 FOR UPDATE" << QVariantList{};
    QTest::newRow("for update, PostgreSQL") << QueryBuilder::PostgreSQL << selectForUpdate
        << "SELECT PimItemTable.id FROM PimItemTable LIMIT 2 FOR UPDATE" << QVariantList{};
    QTest::newRow("for update, SQLite: its write lock does it") << QueryBuilder::Sqlite << selectForUpdate
        << "SELECT PimItemTable.id FROM PimItemTable LIMIT 2" << QVariantList{};

    QTest::newRow("null value writes NULL") << QueryBuilder::Sqlite << BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("CollectionTable"), QueryBuilder::SelectStatement, d);
        qb.addColumn(QStringLiteral("id"));
        qb.addValueCondition(QStringLiteral("parentId"), Query::Is, QVariant());
        qb.addValueCondition(QStringLiteral("remoteId"), Query::IsNot, QVariant());
        return qb;
    }) << "SELECT id FROM CollectionTable WHERE ( parentId IS NULL AND remoteId IS NOT NULL )" << QVariantList{};

    QTest::newRow("string lists become placeholder lists")
        << QueryBuilder::Sqlite << BuilderFactory([](QueryBuilder::DatabaseType d) {
               QueryBuilder qb = makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::SelectStatement, d);
               qb.addColumn(QStringLiteral("id"));
               qb.addValueCondition(QStringLiteral("remoteId"), Query::In,
                                    QStringList{QStringLiteral("a"), QStringLiteral("b")});
               qb.addValueCondition(QStringLiteral("remoteRevision"), Query::NotIn, QStringList());
               qb.addValueCondition(QStringLiteral("name"), Query::Equals, QStringLiteral("single"));
               return qb;
           })
        << "SELECT id FROM PimItemTable WHERE ( remoteId IN ( :0, :1 ) AND remoteRevision NOT IN (  ) AND name = :2 )"
        << QVariantList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("single")};

    QTest::newRow("every clause, nested OR group")
        << QueryBuilder::Sqlite << BuilderFactory([](QueryBuilder::DatabaseType d) {
               QueryBuilder qb = makeBuilder(QStringLiteral("PartTable"), QueryBuilder::SelectStatement, d);
               qb.setDistinct(true);
               qb.addColumns({QStringLiteral("pimItemId"), QStringLiteral("count(*)")});
               Query::Condition either(Query::Or);
               either.addValueCondition(QStringLiteral("datasize"), Query::Less, 10);
               either.addValueCondition(QStringLiteral("datasize"), Query::Greater, 100);
               qb.addCondition(either);
               qb.addColumnCondition(QStringLiteral("version"), Query::NotEquals, QStringLiteral("datasize"));
               qb.addGroupColumn(QStringLiteral("pimItemId"));
               qb.addValueCondition(QStringLiteral("count(*)"), Query::GreaterOrEqual, 2, QueryBuilder::HavingCondition);
               qb.addSortColumn(QStringLiteral("pimItemId"), Query::Descending);
               qb.addSortColumn(QStringLiteral("name"));
               qb.setLimit(5);
               return qb;
           })
        << "SELECT DISTINCT pimItemId, count(*) FROM PartTable WHERE ( ( datasize < :0 OR datasize > :1 ) AND "
           "version <> datasize ) GROUP BY pimItemId HAVING ( count(*) >= :2 ) ORDER BY pimItemId DESC, name ASC LIMIT 5"
        << QVariantList{10, 100, 2};

    QTest::newRow("OR root condition") << QueryBuilder::Sqlite << BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("FlagTable"), QueryBuilder::SelectStatement, d);
        qb.addColumn(QStringLiteral("id"));
        qb.setSubQueryMode(Query::Or);
        qb.addValueCondition(QStringLiteral("id"), Query::LessOrEqual, 1);
        qb.addValueCondition(QStringLiteral("id"), Query::GreaterOrEqual, 7);
        return qb;
    }) << "SELECT id FROM FlagTable WHERE ( id <= :0 OR id >= :1 )" << QVariantList{1, 7};

    const auto joinedTwice = BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::SelectStatement, d);
        qb.addColumn(QStringLiteral("PimItemTable.id"));
        qb.addJoin(QueryBuilder::LeftJoin, QStringLiteral("CollectionTable"), QStringLiteral("PimItemTable.collectionId"),
                   QStringLiteral("CollectionTable.id"));
        qb.addJoin(QueryBuilder::LeftJoin, QStringLiteral("MimeTypeTable"), QStringLiteral("PimItemTable.mimeTypeId"),
                   QStringLiteral("MimeTypeTable.id"));
        Query::Condition resource;
        resource.addValueCondition(QStringLiteral("CollectionTable.resourceId"), Query::Equals, 3);
        qb.addJoin(QueryBuilder::InnerJoin, QStringLiteral("CollectionTable"), resource);
        return qb;
    });
    QTest::newRow("same table joined twice: one inner join, both conditions")
        << QueryBuilder::Sqlite << joinedTwice
        << "SELECT PimItemTable.id FROM PimItemTable INNER JOIN CollectionTable ON ( PimItemTable.collectionId = "
           "CollectionTable.id AND ( CollectionTable.resourceId = :0 ) ) LEFT JOIN MimeTypeTable ON ( "
           "PimItemTable.mimeTypeId = MimeTypeTable.id )"
        << QVariantList{3};

    const auto insertFlag = BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("FlagTable"), QueryBuilder::InsertStatement, d);
        qb.setColumnValue(QStringLiteral("name"), QStringLiteral("x"));
        qb.setColumnValue(QStringLiteral("other"), 2);
        return qb;
    });
    QTest::newRow("insert, SQLite") << QueryBuilder::Sqlite << insertFlag
                                    << "INSERT INTO FlagTable (name, other) VALUES (:0, :1)"
                                    << QVariantList{QStringLiteral("x"), 2};
    QTest::newRow("insert, MySQL") << QueryBuilder::MySQL << insertFlag
                                   << "INSERT INTO FlagTable (name, other) VALUES (:0, :1)"
                                   << QVariantList{QStringLiteral("x"), 2};
    QTest::newRow("insert, PostgreSQL returns the id")
        << QueryBuilder::PostgreSQL << insertFlag << "INSERT INTO FlagTable (name, other) VALUES (:0, :1) RETURNING id"
        << QVariantList{QStringLiteral("x"), 2};

    const auto insertDefaults = BuilderFactory([](QueryBuilder::DatabaseType d) {
        return makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::InsertStatement, d);
    });
    QTest::newRow("insert of defaults, SQLite") << QueryBuilder::Sqlite << insertDefaults
                                                << "INSERT INTO PimItemTable DEFAULT VALUES" << QVariantList{};
    QTest::newRow("insert of defaults, MySQL") << QueryBuilder::MySQL << insertDefaults
                                               << "INSERT INTO PimItemTable () VALUES ()" << QVariantList{};
    QTest::newRow("insert of defaults, PostgreSQL") << QueryBuilder::PostgreSQL << insertDefaults
                                                    << "INSERT INTO PimItemTable DEFAULT VALUES RETURNING id"
                                                    << QVariantList{};

    const auto updateJoined = BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::UpdateStatement, d);
        qb.addJoin(QueryBuilder::InnerJoin, QStringLiteral("CollectionPimItemRelation"),
                   QStringLiteral("CollectionPimItemRelation.PimItem_id"), QStringLiteral("PimItemTable.id"));
        qb.addValueCondition(QStringLiteral("CollectionPimItemRelation.Collection_id"), Query::Equals, 3);
        qb.setColumnValue(QStringLiteral("dirty"), true);
        qb.setColumnValue(QStringLiteral("rev"), 4);
        return qb;
    });
    const QString updateWhere = QStringLiteral(
        " WHERE ( CollectionPimItemRelation.Collection_id = :2 AND ( CollectionPimItemRelation.PimItem_id = "
        "PimItemTable.id ) )");
    QTest::newRow("update with join, SQLite")
        << QueryBuilder::Sqlite << updateJoined << QStringLiteral("UPDATE PimItemTable SET dirty = :0, rev = :1") + updateWhere
        << QVariantList{true, 4, 3};
    QTest::newRow("update with join, MySQL names the joined table")
        << QueryBuilder::MySQL << updateJoined
        << QStringLiteral("UPDATE PimItemTable, CollectionPimItemRelation SET dirty = :0, rev = :1") + updateWhere
        << QVariantList{true, 4, 3};
    QTest::newRow("update with join, PostgreSQL names it after FROM")
        << QueryBuilder::PostgreSQL << updateJoined
        << QStringLiteral("UPDATE PimItemTable SET dirty = :0, rev = :1 FROM CollectionPimItemRelation") + updateWhere
        << QVariantList{true, 4, 3};

    QTest::newRow("update with an expression") << QueryBuilder::MySQL << BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::UpdateStatement, d);
        qb.setColumnValue(QStringLiteral("atime"), 5);
        qb.setColumnExpression(QStringLiteral("rev"), QStringLiteral("rev + 1"));
        qb.addValueCondition(QStringLiteral("id"), Query::Equals, 9);
        return qb;
    }) << "UPDATE PimItemTable SET atime = :0, rev = rev + 1 WHERE ( id = :1 )" << QVariantList{5, 9};
    QTest::newRow("insert of what a select yields") << QueryBuilder::PostgreSQL << BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("PimItemTable"), QueryBuilder::SelectStatement, d);
        qb.setInsertInto(QStringLiteral("PimItemFlagRelation"), {QStringLiteral("PimItem_id"), QStringLiteral("Flag_id")});
        qb.addColumns({QStringLiteral("PimItemTable.id"), QStringLiteral("7")});
        qb.addValueCondition(QStringLiteral("PimItemTable.id"), Query::LessOrEqual, 20);
        return qb;
    }) << "INSERT INTO PimItemFlagRelation (PimItem_id, Flag_id) SELECT PimItemTable.id, 7 FROM PimItemTable "
          "WHERE ( PimItemTable.id <= :0 )"
       << QVariantList{20};

    QTest::newRow("delete") << QueryBuilder::PostgreSQL << BuilderFactory([](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("FlagTable"), QueryBuilder::DeleteStatement, d);
        qb.addValueCondition(QStringLiteral("id"), Query::Equals, 9);
        return qb;
    }) << "DELETE FROM FlagTable WHERE ( id = :0 )" << QVariantList{9};

    QTest::newRow("count") << QueryBuilder::Sqlite << BuilderFactory([](QueryBuilder::DatabaseType d) {
        CountQueryBuilder qb(QStringLiteral("FlagTable"));
        qb.setDatabaseType(d);
        qb.addValueCondition(QStringLiteral("name"), Query::Equals, QStringLiteral("\\SEEN"));
        return QueryBuilder(qb);
    }) << "SELECT count(*) FROM FlagTable WHERE ( name = :0 )" << QVariantList{QStringLiteral("\\SEEN")};

    const auto insertSelected = [](QueryBuilder::DatabaseType d) {
        QueryBuilder qb = makeBuilder(QStringLiteral("FlagTable"), QueryBuilder::SelectStatement, d);
        qb.addColumns({QStringLiteral("id + 5"), QStringLiteral("name")});
        qb.addValueCondition(QStringLiteral("id"), Query::Less, 3);
        qb.addSortColumn(QStringLiteral("id"));
        qb.setInsertInto(QStringLiteral("CopyTable"), {QStringLiteral("a"), QStringLiteral("b")},
                         d == QueryBuilder::MySQL ? QStringList() : QStringList{QStringLiteral("id")});
        return qb;
    };
    const QString insertSelect =
        QStringLiteral("INSERT INTO CopyTable (a, b) SELECT id + 5, name FROM FlagTable WHERE ( id < :0 ) ORDER BY id ASC");
    QTest::newRow("insert of selected rows, returning")
        << QueryBuilder::PostgreSQL << BuilderFactory(insertSelected) << insertSelect + " RETURNING id"
        << QVariantList{3};
    QTest::newRow("insert of selected rows") << QueryBuilder::MySQL << BuilderFactory(insertSelected) << insertSelect
                                             << QVariantList{3};

    QTest::newRow("select of records") << QueryBuilder::Sqlite << BuilderFactory([](QueryBuilder::DatabaseType d) {
        SelectQueryBuilder<Flag> qb;
        qb.setDatabaseType(d);
        return QueryBuilder(qb);
    }) << "SELECT FlagTable.id, FlagTable.name FROM FlagTable" << QVariantList{};
}

void QueryBuilderTest::statementText()
{
    skipUnlessSqlite();
    QFETCH(QueryBuilder::DatabaseType, dialect);
    QFETCH(BuilderFactory, factory);
    QFETCH(QString, statement);
    QFETCH(QVariantList, values);

    QueryBuilder qb = factory(dialect);
    QCOMPARE(qb.buildStatement(), statement);
    QCOMPARE(qb.boundValues(), values);
    // Building again numbers the placeholders afresh.
    QCOMPARE(qb.buildStatement(), statement);
    QCOMPARE(qb.boundValues().size(), values.size());
}

void QueryBuilderTest::setToQuery_data()
{
    QTest::addColumn<ImapSet>("set");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QVariantList>("values");

    QTest::newRow("1:* means every row") << makeSet({{1, 0}}) << QString() << QVariantList{};
    QTest::newRow("single id") << makeSet({{5, 5}}) << "( ( id = :0 ) )" << QVariantList{5};
    QTest::newRow("range") << makeSet({{3, 70}}) << "( ( ( id >= :0 AND id <= :1 ) ) )" << QVariantList{3, 70};
    QTest::newRow("range from 1") << makeSet({{1, 70}}) << "( ( id <= :0 ) )" << QVariantList{70};
    QTest::newRow("short ranges listed, up to 8 ids")
        << makeSet({{3, 5}, {9, 9}, {20, 27}, {40, 48}})
        << "( ( ( id >= :0 AND id <= :1 ) OR id IN ( :2, :3, :4, :5, :6, :7, :8, :9, :10, :11, :12, :13 ) ) )"
        << QVariantList{40, 48, 3, 4, 5, 9, 20, 21, 22, 23, 24, 25, 26, 27};
    QTest::newRow("open end") << makeSet({{4, 0}}) << "( ( id >= :0 ) )" << QVariantList{4};
    QTest::newRow("open begin") << makeSet({{0, 9}}) << "( ( id <= :0 ) )" << QVariantList{9};
    QTest::newRow("several intervals") << makeSet({{2, 2}, {10, 30}, {40, 0}})
                                       << "( ( ( id >= :0 AND id <= :1 ) OR id >= :2 OR id = :3 ) )"
                                       << QVariantList{10, 30, 40, 2};
    QTest::newRow("1:* among others adds nothing for it") << makeSet({{1, 0}, {5, 5}}) << "( ( id = :0 ) )"
                                                          << QVariantList{5};
}

void QueryBuilderTest::setToQuery()
{
    skipUnlessSqlite();
    QFETCH(ImapSet, set);
    QFETCH(QString, where);
    QFETCH(QVariantList, values);

    QueryBuilder qb(QStringLiteral("PimItemTable"));
    qb.addColumn(QStringLiteral("id"));
    QueryHelper::setToQuery(set, QStringLiteral("id"), qb);
    QCOMPARE(qb.buildStatement(),
             QStringLiteral("SELECT id FROM PimItemTable") + (where.isEmpty() ? QString() : QLatin1String(" WHERE ") + where));
    QCOMPARE(qb.boundValues(), values);
}

void QueryBuilderTest::driverNameToDatabaseType_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QueryBuilder::DatabaseType>("type");
    QTest::newRow("QMYSQL") << "QMYSQL" << QueryBuilder::MySQL;
    QTest::newRow("QMYSQL_EMBEDDED") << "QMYSQL_EMBEDDED" << QueryBuilder::MySQL;
    QTest::newRow("QPSQL") << "QPSQL" << QueryBuilder::PostgreSQL;
    QTest::newRow("QPSQL7 is not PostgreSQL") << "QPSQL7" << QueryBuilder::Unknown;
    QTest::newRow("QSQLITE") << "QSQLITE" << QueryBuilder::Sqlite;
    QTest::newRow("QSQLITE3") << "QSQLITE3" << QueryBuilder::Sqlite;
    QTest::newRow("lower case") << "qsqlite" << QueryBuilder::Unknown;
    QTest::newRow("empty") << "" << QueryBuilder::Unknown;
}

void QueryBuilderTest::driverNameToDatabaseType()
{
    QFETCH(QString, driver);
    QFETCH(QueryBuilder::DatabaseType, type);
    QCOMPARE(QueryBuilder::qsqlDriverNameToDatabaseType(driver), type);
}

void QueryBuilderTest::itemQueryHelpers()
{
    skipUnlessSqlite();
    ImapSet set;
    set.add(ImapInterval(4, 4));

    // The initial search collection belongs to the virtual search resource.
    const Collection search = Collection::retrieveByName(QStringLiteral("Search"));
    QVERIFY(search.isValid());
    SelectQueryBuilder<PimItem> inSearch;
    ItemQueryHelper::itemSetToQuery(set, inSearch, search);
    QVERIFY(inSearch.buildStatement().endsWith(
        QLatin1String(" FROM PimItemTable INNER JOIN CollectionPimItemRelation ON ( CollectionPimItemRelation.PimItem_id "
                      "= PimItemTable.id ) WHERE ( ( PimItemTable.id = :0 ) AND "
                      "CollectionPimItemRelation.Collection_id = :1 )")));

    Resource resource(QStringLiteral("itemQueryHelpers"), false);
    QVERIFY(resource.insert());
    Collection plain(QString(), QString(), QStringLiteral("plain"), 0, resource.id(), true, true, -1, -1, false,
                     QString(), QString(), QString());
    QVERIFY(plain.insert());
    SelectQueryBuilder<PimItem> inPlain;
    ItemQueryHelper::itemSetToQuery(set, inPlain, plain);
    QVERIFY(inPlain.buildStatement().endsWith(QLatin1String(" WHERE ( ( PimItemTable.id = :0 ) AND collectionId = :1 )")));
    QCOMPARE(inPlain.boundValues(), (QVariantList{4, plain.id()}));

    SelectQueryBuilder<PimItem> anywhere;
    ItemQueryHelper::itemSetToQuery(set, anywhere, Collection());
    QVERIFY(anywhere.buildStatement().endsWith(QLatin1String(" FROM PimItemTable WHERE ( ( PimItemTable.id = :0 ) )")));

    QueryBuilder byResource(PimItem::tableName());
    byResource.addColumn(PimItem::idFullColumnName());
    ItemQueryHelper::remoteIdToQuery({QStringLiteral("r1"), QStringLiteral("r2")}, resource, 7, byResource);
    QCOMPARE(byResource.buildStatement(),
             QStringLiteral("SELECT PimItemTable.id FROM PimItemTable INNER JOIN CollectionTable ON ( "
                            "PimItemTable.collectionId = CollectionTable.id ) WHERE ( PimItemTable.remoteId IN ( :0, :1 ) "
                            "AND CollectionTable.resourceId = :2 )"));

    QueryBuilder bySelection(PimItem::tableName());
    bySelection.addColumn(PimItem::idFullColumnName());
    ItemQueryHelper::remoteIdToQuery({QStringLiteral("r1")}, Resource(), 7, bySelection);
    QCOMPARE(bySelection.buildStatement(), QStringLiteral("SELECT PimItemTable.id FROM PimItemTable WHERE ( "
                                                          "PimItemTable.remoteId = :0 AND PimItemTable.collectionId = :1 )"));

    QueryBuilder unrestricted(PimItem::tableName());
    unrestricted.addColumn(PimItem::idFullColumnName());
    ItemQueryHelper::remoteIdToQuery({QStringLiteral("r1")}, Resource(), 0, unrestricted);
    QCOMPARE(unrestricted.buildStatement(),
             QStringLiteral("SELECT PimItemTable.id FROM PimItemTable WHERE ( PimItemTable.remoteId = :0 )"));
}

void QueryBuilderTest::insertSelectUpdateDelete()
{
    QueryBuilder insert(Flag::tableName(), QueryBuilder::InsertStatement);
    insert.setColumnValue(Flag::nameColumn(), QStringLiteral("builder-flag"));
    QVERIFY(insert.exec());
    const qint64 id = insert.insertId();
    QVERIFY(id > 8);

    SelectQueryBuilder<Flag> select;
    select.addValueCondition(Flag::idColumn(), Query::Equals, id);
    QVERIFY(select.exec());
    const QList<Flag> flags = select.result();
    QCOMPARE(flags.size(), 1);
    QCOMPARE(flags.first().name(), QStringLiteral("builder-flag"));

    QueryBuilder update(Flag::tableName(), QueryBuilder::UpdateStatement);
    update.setColumnValue(Flag::nameColumn(), QStringLiteral("builder-flag-renamed"));
    update.addValueCondition(Flag::idColumn(), Query::Equals, id);
    QVERIFY(update.exec());

    CountQueryBuilder count(Flag::tableName());
    count.addValueCondition(Flag::nameColumn(), Query::In,
                            QStringList{QStringLiteral("builder-flag-renamed"), QStringLiteral("\\SEEN")});
    QVERIFY(count.exec());
    QCOMPARE(count.result(), 2);

    QueryBuilder remove(Flag::tableName(), QueryBuilder::DeleteStatement);
    remove.addValueCondition(Flag::idColumn(), Query::Equals, id);
    QVERIFY(remove.exec());
    QVERIFY(!Flag::exists(id));

    // An empty selection: the count is 0, a row-less count statement would be -1.
    CountQueryBuilder none(Flag::tableName());
    none.addValueCondition(Flag::idColumn(), Query::Equals, id);
    QVERIFY(none.exec());
    QCOMPARE(none.result(), 0);
}

void QueryBuilderTest::awkwardValuesRoundTrip()
{
    const QString text = awkwardText();
    QByteArray bytes("\0\x01'\"\\\xff\xfe" "binary", 14);
    bytes += text.toUtf8();

    Resource resource(text, false);
    QVERIFY(resource.insert());

    // Found again by the value itself, compared through a placeholder.
    QueryBuilder byName(Resource::tableName());
    byName.addColumns(Resource::fullColumnNames());
    byName.addValueCondition(Resource::nameColumn(), Query::Equals, text);
    QVERIFY(byName.exec());
    const QList<Resource> found = Resource::extractResult(byName.query());
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().id(), resource.id());
    QCOMPARE(found.first().name(), text);
    QCOMPARE(Resource::retrieveByName(text).id(), resource.id());

    Collection collection(text, text, QStringLiteral("awkward"), 0, resource.id(), true, true, -1, -1, false, QString(),
                          QString(), QString());
    QVERIFY(collection.insert());
    CollectionAttribute attribute(collection.id(), bytes, bytes);
    QVERIFY(attribute.insert());

    SelectQueryBuilder<CollectionAttribute> byType;
    byType.addValueCondition(CollectionAttribute::typeColumn(), Query::Equals, bytes);
    QVERIFY(byType.exec());
    const QList<CollectionAttribute> attributes = byType.result();
    QCOMPARE(attributes.size(), 1);
    QCOMPARE(attributes.first().type(), bytes);
    QCOMPARE(attributes.first().value(), bytes);

    const Collection reread = Collection::retrieveById(collection.id());
    QCOMPARE(reread.remoteId(), text);
    QCOMPARE(reread.remoteRevision(), text);
}

void QueryBuilderTest::setToQueryExecution()
{
    Resource resource(QStringLiteral("setToQueryExecution"), false);
    QVERIFY(resource.insert());
    Collection collection(QString(), QString(), QStringLiteral("sets"), 0, resource.id(), true, true, -1, -1, false,
                          QString(), QString(), QString());
    QVERIFY(collection.insert());
    QList<qint64> ids;
    for (int i = 0; i < 5; ++i) {
        PimItem item;
        item.setCollectionId(collection.id());
        item.setRemoteId(QString::number(i));
        QVERIFY(item.insert());
        ids.append(item.id());
    }

    ImapSet set;
    set.add(ImapInterval(ids.at(1), ids.at(2)));
    set.add(ImapInterval(ids.at(4), ids.at(4)));
    SelectQueryBuilder<PimItem> qb;
    ItemQueryHelper::itemSetToQuery(set, qb, collection);
    qb.addSortColumn(PimItem::idFullColumnName());
    QVERIFY(qb.exec());
    QList<qint64> selected;
    for (const PimItem &item : qb.result()) {
        selected.append(item.id());
    }
    QCOMPARE(selected, (QList<qint64>{ids.at(1), ids.at(2), ids.at(4)}));

    QueryBuilder byRemoteId(PimItem::tableName());
    byRemoteId.addColumn(PimItem::idFullColumnName());
    ItemQueryHelper::remoteIdToQuery({QStringLiteral("0"), QStringLiteral("3")}, resource, 0, byRemoteId);
    byRemoteId.addSortColumn(PimItem::idFullColumnName(), Query::Descending);
    QVERIFY(byRemoteId.exec());
    selected.clear();
    while (byRemoteId.query().next()) {
        selected.append(byRemoteId.query().value(0).toLongLong());
    }
    QCOMPARE(selected, (QList<qint64>{ids.at(3), ids.at(0)}));
}

void QueryBuilderTest::updateWithJoin()
{
    Resource resource(QStringLiteral("updateWithJoin"), false);
    QVERIFY(resource.insert());
    Collection collection(QString(), QString(), QStringLiteral("joined"), 0, resource.id(), true, true, -1, -1, false,
                          QString(), QString(), QString());
    QVERIFY(collection.insert());
    PimItem linked;
    linked.setDirty(false);
    QVERIFY(linked.insert());
    PimItem unlinked;
    unlinked.setDirty(false);
    QVERIFY(unlinked.insert());
    QVERIFY(collection.addPimItem(linked));

    QueryBuilder qb(PimItem::tableName(), QueryBuilder::UpdateStatement);
    qb.addJoin(QueryBuilder::InnerJoin, CollectionPimItemRelation::tableName(),
               CollectionPimItemRelation::rightFullColumnName(), PimItem::idFullColumnName());
    qb.addValueCondition(CollectionPimItemRelation::leftFullColumnName(), Query::Equals, collection.id());
    qb.setColumnValue(PimItem::dirtyColumn(), true);

    if (m_storage.backend().isSqlite()) {
        // SQLite's UPDATE cannot name a second table; the statement is refused, not misapplied.
        QVERIFY(!qb.exec());
        QVERIFY(qb.query().lastError().isValid());
        return;
    }
    QVERIFY(qb.exec());
    QCOMPARE(PimItem::retrieveById(linked.id()).dirty(), true);
    QCOMPARE(PimItem::retrieveById(unlinked.id()).dirty(), false);
}

void QueryBuilderTest::failedStatement()
{
    QueryBuilder qb(QStringLiteral("NoSuchTable"));
    qb.addColumn(QStringLiteral("id"));
    qb.addValueCondition(QStringLiteral("id"), Query::Equals, 1);
    QVERIFY(!qb.exec());
    QVERIFY(qb.query().lastError().isValid());

    CountQueryBuilder count(QStringLiteral("NoSuchTable"));
    QVERIFY(!count.exec());
    QCOMPARE(count.result(), -1);
}

QTEST_GUILESS_MAIN(QueryBuilderTest)

#include "tst_querybuilder.moc"

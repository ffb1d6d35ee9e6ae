// Collection commands against the real server process over its socket: the listing line byte for
// byte, listing order and filters, scopes by id, remote id and remote id chain, create, modify,
// delete, select, status, subscribe, client transactions and the resource context.
// TALVORI_TEST_BACKEND picks the database (TestBackend).

#include "notifylistener.h"
#include "sqlinspection.h"
#include "testclient.h"
#include "testserver.h"

#include <notificationmessage.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusReply>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

class CollectionHandlersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void listingLineIsExact();
    void persistentSearchIsQuotedTwice();
    void listingOrderAndDepth_data();
    void listingOrderAndDepth();
    void listingFilters_data();
    void listingFilters();
    void remoteIdAddressing_data();
    void remoteIdAddressing();
    void failures_data();
    void failures();
    void createInheritsContentTypesAndTakesPaths();
    void modify();
    void moveUnderOwnDescendantIsRefused();
    void deleteRemovesSubtreeChildrenFirst();
    void rollbackLeavesNothingCommitNotifiesOnce();
    void nestedBeginNeedsTwoCommits();
    void selectStatusSubscribe();
    void colCopyCopiesTree_data();
    void colCopyCopiesTree();
    void colMoveMovesTree_data();
    void colMoveMovesTree();

private:
    static QStringList listNames(TestClient &client, const QByteArray &command);
    // Notifications that arrive within a short while.
    QList<NotificationMessage::List> settleNotifications();
    // The rows the statement selects, their columns joined by blanks.
    QStringList rows(const QString &sql);
    // A tree of resource "tree" below a new top-level collection: holder / top / mid / deep, with
    // remote identifiers and revisions "t", "m", "d" ("rt", ...), one item in top and mid and two in
    // deep, one of those with its payload in a file; the ids of holder, top, mid, deep.
    QList<qint64> makeTree(TestClient &owner);
    // The collection ids below parent, in name order.
    QList<qint64> childrenOf(qint64 parent);

    TestServer m_server;
    std::unique_ptr<NotifyListener> m_listener;
    TestClient m_res1;
    // The fixture tree of resource "res1": Top (inode/directory) / Child / Leaf, and Top / Sibling.
    // Resource "res2" has a top-level "Other" with the same remote id as Child.
    qint64 m_top = -1;
    qint64 m_child = -1;
    qint64 m_leaf = -1;
    qint64 m_sibling = -1;
    qint64 m_other = -1;
    QSqlDatabase m_db;
    int m_trees = 0;
};

void CollectionHandlersTest::initTestCase()
{
    const QStringList resources = {QStringLiteral("res1"), QStringLiteral("res2"), QStringLiteral("fmt"),
                                   QStringLiteral("tx"),   QStringLiteral("mod"),  QStringLiteral("del"),
                                   QStringLiteral("tree")};
    TALVORI_VERIFY_STARTED(m_server, m_server.start(resources));
    m_listener = std::make_unique<NotifyListener>(m_server.bus().address());

    QVERIFY(m_server.login(m_res1, "res1"));
    m_top = m_res1.create("\"Top\" 0 (MIMETYPE (inode/directory) REMOTEID \"top\")");
    m_child = m_res1.create("\"Child\" " + QByteArray::number(m_top) + " (REMOTEID \"child\")");
    m_leaf = m_res1.create("\"Leaf\" " + QByteArray::number(m_child) + " (MIMETYPE (text/plain) REMOTEID \"leaf\")");
    m_sibling = m_res1.create("\"Sibling\" " + QByteArray::number(m_top)
                              + " (MIMETYPE (inode/directory text/calendar) REMOTEID \"sib\")");
    TestClient res2;
    QVERIFY(m_server.login(res2, "res2"));
    m_other = res2.create("\"Other\" 0 (MIMETYPE (inode/directory) REMOTEID \"child\")");
    QVERIFY(m_top > 0 && m_child > 0 && m_leaf > 0 && m_sibling > 0 && m_other > 0);
    m_db = m_server.addDatabaseConnection(QStringLiteral("inspect"));
    QVERIFY2(m_db.open(), qPrintable(m_db.lastError().text()));
}

void CollectionHandlersTest::cleanupTestCase()
{
    m_db.close();
    m_listener.reset();
    m_res1.disconnectFromServer();
    QCOMPARE(m_server.stop(), 0);
}

QStringList CollectionHandlersTest::listNames(TestClient &client, const QByteArray &command)
{
    QStringList names;
    for (const ListingLine &line : client.list(command))
        names.append(line.name);
    return names;
}

QList<NotificationMessage::List> CollectionHandlersTest::settleNotifications()
{
    return m_listener->settle();
}

QStringList CollectionHandlersTest::rows(const QString &sql)
{
    return SqlInspection::rows(m_db, sql);
}

QList<qint64> CollectionHandlersTest::makeTree(TestClient &owner)
{
    const QByteArray n = QByteArray::number(++m_trees);
    const QByteArray folders = " (MIMETYPE (inode/directory message/rfc822)";
    const qint64 holder = owner.create("\"Holder" + n + "\" 0" + folders + ")");
    const qint64 top = owner.create("\"Top" + n + "\" " + QByteArray::number(holder) + folders
                                    + " REMOTEID \"t\" REMOTEREVISION \"rt\" color \"red\")");
    const qint64 mid = owner.create("\"Mid\" " + QByteArray::number(top) + folders + " REMOTEID \"m\" REMOTEREVISION \"rm\")");
    const qint64 deep = owner.create("\"Deep\" " + QByteArray::number(mid) + " (MIMETYPE (message/rfc822) REMOTEID \"d\" REMOTEREVISION \"rd\")");
    const QByteArray item = "(\\MimeType[message/rfc822] \\RemoteId[i%1] \\RemoteRevision[v1] \\Seen)";
    owner.tvAppend(top, "(PLD:RFC822 :3)", "top", QByteArray(item).replace("%1", "top"));
    owner.tvAppend(mid, "(PLD:RFC822 :3)", "mid", QByteArray(item).replace("%1", "mid"));
    owner.tvAppend(deep, "(PLD:RFC822 :4)", "deep", QByteArray(item).replace("%1", "deep"));
    owner.tvAppend(deep, "(PLD:RFC822 :5000)", QByteArray(5000, 'f'), QByteArray(item).replace("%1", "file"));
    return {holder, top, mid, deep};
}

QList<qint64> CollectionHandlersTest::childrenOf(qint64 parent)
{
    QList<qint64> ids;
    const QString condition = parent > 0 ? QStringLiteral("= %1").arg(parent) : QStringLiteral("IS NULL");
    for (const QString &id : rows(QStringLiteral("SELECT id FROM CollectionTable WHERE parentId %1 ORDER BY name").arg(condition)))
        ids.append(id.toLongLong());
    return ids;
}

void CollectionHandlersTest::listingLineIsExact()
{
    TestClient client;
    QVERIFY(m_server.login(client, "fmt"));
    const QByteArray name = "Qu\\\"ote \\\\ Zo\xc3\xab";
    const QList<QByteArray> created = client.run(
        "CREATE \"" + name
        + "\" 0 (MIMETYPE (inode/directory text/x-a text/x-b) REMOTEID \"r\\\"1\" CACHEPOLICY (INHERIT false INTERVAL 5 "
          "CACHETIMEOUT 10 SYNCONDEMAND true LOCALPARTS (PLD:A PLD:B)) color \"red\")");
    QCOMPARE(created.size(), 2);
    ListingLine parsed;
    QVERIFY(parsed.parse(created.first()));
    const QByteArray id = QByteArray::number(parsed.id);
    const QByteArray expected = "* " + id + " 0 (NAME \"" + name
                                + "\" MIMETYPE (inode/directory text/x-a text/x-b) REMOTEID \"r\\\"1\" REMOTEREVISION \"\" "
                                  "RESOURCE \"fmt\" CACHEPOLICY (INHERIT false INTERVAL 5 CACHETIMEOUT 10 "
                                  "SYNCONDEMAND true LOCALPARTS (PLD:A PLD:B)) color \"red\")";
    QCOMPARE(created.first(), expected);
    QCOMPARE(parsed.name, QString::fromUtf8("Qu\"ote \\ Zo\xc3\xab"));
    QCOMPARE(parsed.remoteId, QStringLiteral("r\"1"));

    // The listing shows the same line; statistics and ancestors slot in at their places.
    QCOMPARE(client.run("LIST " + id + " 0 ()").first(), expected);
    const QByteArray withExtras = client.run("X-TVLIST " + id + " 0 () (STATISTICS true ANCESTORS 2)").first();
    QCOMPARE(withExtras,
             QByteArray(expected)
                 .replace("RESOURCE \"fmt\" ", "RESOURCE \"fmt\" MESSAGES 0 UNSEEN 0 SIZE 0 ")
                 .replace("PLD:B)) ", "PLD:B)) ANCESTORS ((0 \"\")) "));

    // Without attributes the line ends in a space before the closing parenthesis; an inherited
    // policy shows the effective one of the nearest ancestor with its own.
    const qint64 child = client.create("\"plain\" " + id + " ()");
    QVERIFY(child > 0);
    const QByteArray childLine = client.run("LIST " + QByteArray::number(child) + " 0 ()").first();
    QVERIFY2(childLine.endsWith(
                 " CACHEPOLICY (INHERIT true INTERVAL 5 CACHETIMEOUT 10 SYNCONDEMAND true LOCALPARTS (PLD:A PLD:B)) )"),
             childLine.constData());
    QVERIFY2(childLine.contains(" MIMETYPE (inode/directory text/x-a text/x-b) "), childLine.constData());
}

void CollectionHandlersTest::persistentSearchIsQuotedTwice()
{
    TestClient client;
    QVERIFY(m_server.login(client, "fmt"));
    const qint64 id = client.create("\"search\" 0 ()");
    QVERIFY(id > 0);
    const QByteArray ids = QByteArray::number(id);
    QCOMPARE(client.tagged("MODIFY " + ids
                                + " PERSISTENTSEARCH \"(QUERYLANGUAGE SPARQL QUERYSTRING \\\"say \\\\\\\"hi\\\\\\\"\\\")\""),
             QByteArray("OK MODIFY done"));
    const QByteArray line = client.run("LIST " + ids + " 0 ()").first();
    // Inner quoting: "say \"hi\"". Outer quoting escapes that again.
    QVERIFY2(line.contains(" PERSISTENTSEARCH \"(QUERYLANGUAGE SPARQL QUERYSTRING \\\"say \\\\\\\"hi\\\\\\\"\\\")\" "
                           "CACHEPOLICY"),
             line.constData());
    ListingLine parsed;
    QVERIFY(parsed.parse(line));
    QCOMPARE(parsed.queryLanguage, QStringLiteral("SPARQL"));
    QCOMPARE(parsed.queryString, QStringLiteral("say \"hi\""));
}

void CollectionHandlersTest::listingOrderAndDepth_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("ancestorCounts");

    const QByteArray top = QByteArray::number(m_top);
    const QByteArray child = QByteArray::number(m_child);
    QTest::newRow("root, depth 0: nothing") << QByteArray("LIST 0 0 ()") << QStringList() << QList<int>();
    QTest::newRow("whole tree of a resource, children first")
        << QByteArray("LIST 0 INF (RESOURCE \"res1\")") << QStringList{"Leaf", "Child", "Sibling", "Top"}
        << QList<int>();
    QTest::newRow("base alone at depth 0") << "LIST " + child + " 0 ()" << QStringList{"Child"} << QList<int>();
    QTest::newRow("children of the base at depth 1")
        << "LIST " + top + " 1 ()" << QStringList{"Child", "Sibling"} << QList<int>();
    QTest::newRow("depth 2 below the base") << "LIST " + top + " 2 ()" << QStringList{"Leaf", "Child", "Sibling"}
                                            << QList<int>();
    QTest::newRow("ancestors up to the root")
        << "X-TVLIST " + top + " INF () (ANCESTORS INF)" << QStringList{"Leaf", "Child", "Sibling"}
        << QList<int>{3, 2, 2};
    QTest::newRow("ancestors cut at the depth")
        << "X-TVLIST " + child + " 1 () (ANCESTORS 1)" << QStringList{"Leaf"} << QList<int>{1};
}

void CollectionHandlersTest::listingOrderAndDepth()
{
    QFETCH(QByteArray, command);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, ancestorCounts);
    const QList<ListingLine> lines = m_res1.list(command);
    QStringList listed;
    for (const ListingLine &line : lines)
        listed.append(line.name);
    QCOMPARE(listed, names);
    for (qsizetype i = 0; i < ancestorCounts.size(); ++i)
        QCOMPARE(lines.at(i).ancestors.size(), ancestorCounts.at(i));
    if (!ancestorCounts.isEmpty()) {
        // Leaf's ancestors: its parent first, then up to the root entry.
        const QList<QPair<qint64, QByteArray>> &leaf = lines.first().ancestors;
        QCOMPARE(leaf.first(), qMakePair(m_child, QByteArray("child")));
        if (leaf.size() == 3) {
            QCOMPARE(leaf.at(1), qMakePair(m_top, QByteArray("top")));
            QCOMPARE(leaf.at(2), qMakePair(qint64(0), QByteArray()));
        }
    }
}

void CollectionHandlersTest::listingFilters_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("hiddenTypes");

    const QByteArray top = QByteArray::number(m_top);
    QTest::newRow("content type keeps the path to a match, without its types")
        << "LIST " + top + " INF (MIMETYPE (text/plain))" << QStringList{"Leaf", "Child"} << QStringList{"Child"};
    QTest::newRow("two content types")
        << "LIST " + top + " INF (MIMETYPE (text/plain text/calendar))" << QStringList{"Leaf", "Child", "Sibling"}
        << QStringList{"Child"};
    QTest::newRow("unknown content type matches nothing")
        << "LIST " + top + " INF (MIMETYPE (x-new/never-seen))" << QStringList() << QStringList();
    QTest::newRow("other resource") << "LIST " + top + " INF (RESOURCE \"res2\")" << QStringList() << QStringList();
    QTest::newRow("unknown filter keys are skipped")
        << "LIST " + top + " 1 (BOGUS RESOURCE \"res1\")" << QStringList{"Child", "Sibling"} << QStringList();
}

void CollectionHandlersTest::listingFilters()
{
    QFETCH(QByteArray, command);
    QFETCH(QStringList, names);
    QFETCH(QStringList, hiddenTypes);
    QStringList listed;
    for (const ListingLine &line : m_res1.list(command)) {
        listed.append(line.name);
        QCOMPARE(line.mimeTypes.isEmpty(), hiddenTypes.contains(line.name));
    }
    QCOMPARE(listed, names);
}

void CollectionHandlersTest::remoteIdAddressing_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("RID in res1") << QByteArray("res1") << QByteArray("RID LIST \"child\" 0 ()")
                                 << QStringList{"Child"};
    QTest::newRow("same RID in res2") << QByteArray("res2") << QByteArray("RID LIST \"child\" 0 ()")
                                      << QStringList{"Other"};
    QTest::newRow("resource filter instead of context")
        << QByteArray() << QByteArray("RID LIST \"child\" 0 (RESOURCE \"res2\")") << QStringList{"Other"};
    QTest::newRow("HRID chain") << QByteArray("res1")
                                << QByteArray("HRID LIST ((0 \"leaf\") (0 \"child\") (0 \"top\") (0 \"\")) 0 ()")
                                << QStringList{"Leaf"};
    QTest::newRow("HRID chain of a top-level collection, children")
        << QByteArray("res1") << QByteArray("HRID LIST ((0 \"top\") (0 \"\")) 1 ()") << QStringList{"Child", "Sibling"};
}

void CollectionHandlersTest::remoteIdAddressing()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, command);
    QFETCH(QStringList, names);
    TestClient client;
    QVERIFY(m_server.login(client, "addressing"));
    if (!context.isEmpty())
        QCOMPARE(client.tagged("RESSELECT " + context), "OK " + context + " selected");
    QCOMPARE(listNames(client, command), names);
}

void CollectionHandlersTest::failures_data()
{
    QTest::addColumn<QByteArray>("session");
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    const QByteArray top = QByteArray::number(m_top);
    const QByteArray leaf = QByteArray::number(m_leaf);
    const QByteArray none = "999999";
    const QByteArrayList res1 = {"RESSELECT res1"};
    QList<std::tuple<const char *, QByteArray, QByteArrayList, QByteArray, QByteArray>> cases = {
        {"LIST base not a number", "client", {}, "LIST x 0 ()", "NO Invalid base collection"},
        {"LIST missing base", "client", {}, "LIST " + none + " 0 ()", "NO Collection " + none + " does not exist"},
        {"LIST bad depth", "client", {}, "LIST 0 deep ()", "NO ImapParserException: Invalid depth argument"},
        {"LIST unknown resource", "client", {}, "LIST 0 INF (RESOURCE \"nope\")", "NO Unknown resource"},
        {"RID LIST empty", "client", {}, "RID LIST \"\" 0 ()", "NO No remote identifier specified"},
        {"RID LIST without context", "client", {}, "RID LIST \"child\" 0 ()",
         "NO Cannot retrieve collection based on remote identifier without a resource context"},
        {"RID LIST not found", "client", res1, "RID LIST \"nope\" 0 ()", "NO 0 collections found"},
        {"HRID LIST without context", "client", {}, "HRID LIST ((0 \"top\") (0 \"\")) 0 ()",
         "NO Cannot retrieve collection based on hierarchical remote identifier without a resource context"},
        {"HRID only the root", "client", res1, "HRID LIST ((0 \"\")) 0 ()",
         "NO Empty or incomplete hierarchical RID chain"},
        {"HRID not root-terminated", "client", res1, "HRID LIST ((0 \"child\") (0 \"top\")) 0 ()",
         "NO Hierarchical RID chain is not root-terminated"},
        {"HRID pair too long", "client", res1, "HRID LIST ((0 \"child\" x) (0 \"\")) 0 ()",
         "NO Invalid hierarchical RID chain format"},
        {"HRID unknown", "client", res1, "HRID LIST ((0 \"nope\") (0 \"\")) 0 ()",
         "NO Hierarchical RID does not specify a unique collection"},
        {"RID DELETE without context", "client", {}, "RID DELETE \"child\"",
         "NO Operations based on remote identifiers require a resource or collection context"},
        {"HRID MODIFY without context", "client", {}, "HRID MODIFY ((0 \"top\") (0 \"\")) NAME x",
         "NO Operations based on hierarchical remote identifiers require a resource or collection context"},
        {"RID DELETE empty list", "client", res1, "RID DELETE ()", "NO Empty remote identifier set specified"},
        {"CREATE top-level by a client", "client", {}, "CREATE \"x\" 0 ()", "NO Cannot create top-level collection"},
        {"CREATE empty name", "res1", {}, "CREATE \"\" 0 ()", "NO Invalid collection name"},
        {"CREATE below missing parent", "res1", {}, "CREATE \"x\" " + none + " ()", "NO Parent collection not found"},
        {"CREATE below a leaf", "res1", {}, "CREATE \"x\" " + leaf + " ()",
         "NO Parent collection can not contain sub-collections"},
        {"RID CREATE empty parent", "res1", res1, "RID CREATE \"x\" \"\" ()", "NO Empty parent remote identifier"},
        {"RID CREATE without context", "res1", {}, "RID CREATE \"x\" \"top\" ()", "NO Invalid resource context"},
        {"RID CREATE unknown parent", "res1", res1, "RID CREATE \"x\" \"nope\" ()", "NO Parent collection not found"},
        {"MODIFY missing", "client", {}, "MODIFY " + none + " NAME x", "NO No such collection"},
        {"MODIFY to a sibling's name", "client", {}, "MODIFY " + QByteArray::number(m_child) + " NAME \"Sibling\"",
         "NO Collection with the same name exists already"},
        {"MODIFY REMOTEID by a client", "client", {}, "MODIFY " + top + " REMOTEID \"new\"",
         "NO Only resources can modify remote identifiers"},
        {"MODIFY PARENT not a number", "client", {}, "MODIFY " + leaf + " PARENT x", "NO Invalid syntax"},
        {"MODIFY many", "client", {}, "MODIFY 1:* NAME x", "NO Mass-modifying collections is not yet implemented"},
        {"DELETE missing", "client", {}, "DELETE " + none, "NO No collection selected"},
        {"DELETE many", "client", {}, "DELETE 1:*", "NO Deleting multiple collections is not yet implemented"},
        {"DELETE empty set", "client", {}, "DELETE \"\"", "NO Empty uid set specified"},
        {"COMMIT without BEGIN", "client", {}, "COMMIT", "NO There is no transaction in progress."},
        {"ROLLBACK without BEGIN", "client", {}, "ROLLBACK", "NO There is no transaction in progress."},
        {"RESSELECT unknown", "client", {}, "RESSELECT \"n\xc3\xb6pe\"",
         "NO n\xc3\xb6pe is not a valid resource identifier"},
        {"SELECT missing", "client", {}, "SELECT " + none, "NO Cannot select this collection"},
        {"RID SELECT without context", "client", {}, "RID SELECT \"child\"",
         "NO Cannot select based on remote identifier without a resource scope"},
        {"STATUS missing", "client", {}, "STATUS " + none + " (MESSAGES)", "NO No status for this folder"},
        {"SUBSCRIBE missing", "client", {}, "SUBSCRIBE " + top + " " + none, "NO Invalid collection"},
        {"COLCOPY missing source", "client", {}, "COLCOPY " + none + " " + top, "NO No valid source specified"},
        {"COLCOPY missing target", "client", {}, "COLCOPY " + leaf + " " + none, "NO No valid target specified"},
        {"COLCOPY into itself", "client", {}, "COLCOPY " + top + " " + top,
         "NO Cannot copy a collection into its own subtree"},
        {"COLCOPY into its own subtree", "client", {}, "COLCOPY " + top + " " + leaf,
         "NO Cannot copy a collection into its own subtree"},
        {"COLCOPY onto a sibling's name", "client", {}, "COLCOPY " + QByteArray::number(m_child) + " " + top,
         "NO Failed to copy collection"},
        {"COLMOVE missing source", "client", {}, "COLMOVE " + none + " 0", "NO No source collection specified"},
        {"COLMOVE many", "client", {}, "COLMOVE 1:* 0", "NO Moving multiple collections is not yet implemented"},
        {"COLMOVE missing target", "client", {}, "COLMOVE " + leaf + " " + none, "NO No collection found"},
        {"COLMOVE into its own subtree", "client", {}, "COLMOVE " + top + " " + leaf,
         "NO Unable to reparent collection"},
        {"RID COLMOVE without context", "client", {}, "RID COLMOVE \"child\" \"top\"",
         "NO Operations based on remote identifiers require a resource or collection context"},
    };
    for (const auto &[name, session, setup, command, answer] : cases)
        QTest::newRow(name) << session << setup << command << answer;
}

void CollectionHandlersTest::failures()
{
    QFETCH(QByteArray, session);
    QFETCH(QByteArrayList, setup);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    TestClient client;
    QVERIFY(m_server.login(client, session));
    for (const QByteArray &step : setup)
        QVERIFY(client.tagged(step).startsWith("OK"));
    QCOMPARE(client.tagged(command), answer);
    // The session goes on after the failure.
    QCOMPARE(client.tagged("LIST 0 0 ()"), QByteArray("OK List completed"));
}

void CollectionHandlersTest::createInheritsContentTypesAndTakesPaths()
{
    TestClient client;
    QVERIFY(m_server.login(client, "res1"));
    const qint64 id = client.create("\"Inherits\" " + QByteArray::number(m_sibling) + " ()");
    QVERIFY(id > 0);
    ListingLine line;
    QVERIFY(line.parse(client.run("LIST " + QByteArray::number(id) + " 0 ()").first()));
    // Content types are listed in the order of their ids.
    QCOMPARE(line.mimeTypes, (QByteArrayList{"text/calendar", "inode/directory"}));
    QCOMPARE(line.resource, QStringLiteral("res1"));
    QCOMPARE(line.parentId, m_sibling);

    // A path names the parent; the last part is the new name.
    const qint64 byPath = client.create("\"/Top/Sibling/Inherits/ByPath\" ()");
    QVERIFY(byPath > 0);
    QVERIFY(line.parse(client.run("LIST " + QByteArray::number(byPath) + " 0 ()").first()));
    QCOMPARE(line.parentId, id);
    QCOMPARE(line.name, QStringLiteral("ByPath"));

    // RID CREATE finds the parent in the resource context.
    QCOMPARE(client.tagged("RESSELECT res1"), QByteArray("OK res1 selected"));
    const qint64 byRid = client.create("\"ByRid\" \"sib\" (REMOTEID \"byrid\")");
    QVERIFY(byRid > 0);
    QCOMPARE(client.tagged("DELETE " + QByteArray::number(id)), QByteArray("OK DELETE completed"));
    QCOMPARE(client.tagged("DELETE " + QByteArray::number(byRid)), QByteArray("OK DELETE completed"));
}

void CollectionHandlersTest::modify()
{
    TestClient owner;
    QVERIFY(m_server.login(owner, "mod"));
    const qint64 id = owner.create("\"Mod\" 0 (MIMETYPE (inode/directory text/plain) REMOTEID \"m\" flavour \"sweet\")");
    QVERIFY(id > 0);
    const QByteArray ids = QByteArray::number(id);
    settleNotifications();

    TestClient client;
    QVERIFY(m_server.login(client, "someone"));
    // Unchanged values: done, and nothing announced.
    QCOMPARE(client.tagged("MODIFY " + ids + " NAME \"Mod\" REMOTEID \"m\" flavour \"sweet\""),
             QByteArray("OK MODIFY done"));
    QVERIFY(settleNotifications().isEmpty());

    // Any client may change the remote revision; the owner the remote id; "-" drops an attribute.
    QCOMPARE(client.tagged("MODIFY " + ids
                                + " NAME \"Renamed\" REMOTEREVISION \"rev2\" MIMETYPE (text/plain text/x-new) "
                                  "-flavour colour \"blue\""),
             QByteArray("OK MODIFY done"));
    QCOMPARE(owner.tagged("MODIFY " + ids + " REMOTEID \"m2\""), QByteArray("OK MODIFY done"));
    QCOMPARE(owner.tagged("MODIFY " + ids + " CACHEPOLICY (INHERIT false INTERVAL 7)"),
             QByteArray("OK MODIFY done"));
    const QList<NotificationMessage::List> batches = settleNotifications();
    QSet<QByteArray> changed;
    for (const NotificationMessage::List &batch : batches) {
        for (const NotificationMessage &message : batch) {
            QCOMPARE(message.operation(), int(NotificationMessage::Modify));
            QCOMPARE(message.uid(), id);
            changed.unite(message.itemParts());
        }
    }
    QCOMPARE(changed, (QSet<QByteArray>{"NAME", "REMOTEREVISION", "MIMETYPE", "flavour", "colour", "REMOTEID",
                                        "CACHEPOLICY"}));

    ListingLine line;
    QVERIFY(line.parse(client.run("LIST " + ids + " 0 ()").first()));
    QCOMPARE(line.name, QStringLiteral("Renamed"));
    QCOMPARE(line.remoteId, QStringLiteral("m2"));
    QCOMPARE(line.remoteRevision, QStringLiteral("rev2"));
    QCOMPARE(line.mimeTypes, (QByteArrayList{"text/plain", "text/x-new"}));
    QCOMPARE(line.attributes, (QList<QPair<QByteArray, QByteArray>>{{"colour", "blue"}}));
    QCOMPARE(line.cachePolicy.value("INHERIT"), QByteArray("false"));
    QCOMPARE(line.cachePolicy.value("INTERVAL"), QByteArray("7"));

    // RID MODIFY: a one-element list and a plain atom name the same collection.
    QCOMPARE(owner.tagged("RESSELECT mod"), QByteArray("OK mod selected"));
    QCOMPARE(owner.tagged("RID MODIFY (\"m2\") REMOTEREVISION \"a\""), QByteArray("OK MODIFY done"));
    QCOMPARE(owner.tagged("RID MODIFY \"m2\" REMOTEREVISION \"b\""), QByteArray("OK MODIFY done"));
    QVERIFY(line.parse(client.run("LIST " + ids + " 0 ()").first()));
    QCOMPARE(line.remoteRevision, QStringLiteral("b"));
}

void CollectionHandlersTest::moveUnderOwnDescendantIsRefused()
{
    TestClient client;
    QVERIFY(m_server.login(client, "mod"));
    const qint64 a = client.create("\"MoveA\" 0 (MIMETYPE (inode/directory))");
    const qint64 b = client.create("\"MoveB\" " + QByteArray::number(a) + " ()");
    const qint64 c = client.create("\"MoveC\" " + QByteArray::number(b) + " ()");
    const qint64 d = client.create("\"MoveB\" 0 (MIMETYPE (inode/directory))");
    QVERIFY(a > 0 && b > 0 && c > 0 && d > 0);
    const QByteArray as = QByteArray::number(a);
    QCOMPARE(client.tagged("MODIFY " + as + " PARENT " + QByteArray::number(c)),
             QByteArray("NO Unable to reparent collection"));
    QCOMPARE(client.tagged("MODIFY " + as + " PARENT " + as), QByteArray("NO Unable to reparent collection"));
    // A top-level sibling already carries the name.
    QCOMPARE(client.tagged("MODIFY " + QByteArray::number(b) + " PARENT 0"),
             QByteArray("NO Unable to reparent collection"));
    // Moving c up to a and then d under a is fine.
    QCOMPARE(client.tagged("MODIFY " + QByteArray::number(c) + " PARENT " + as), QByteArray("OK MODIFY done"));
    QCOMPARE(client.tagged("MODIFY " + QByteArray::number(c) + " PARENT " + as), QByteArray("OK MODIFY done"));
    QCOMPARE(listNames(client, "LIST " + as + " 1 ()"), (QStringList{"MoveB", "MoveC"}));
}

void CollectionHandlersTest::deleteRemovesSubtreeChildrenFirst()
{
    TestClient client;
    QVERIFY(m_server.login(client, "del"));
    const qint64 p = client.create("\"P\" 0 (MIMETYPE (inode/directory))");
    const qint64 q = client.create("\"Q\" " + QByteArray::number(p) + " ()");
    const qint64 r = client.create("\"R\" " + QByteArray::number(q) + " ()");
    const qint64 s = client.create("\"S\" " + QByteArray::number(p) + " ()");
    QVERIFY(p > 0 && q > 0 && r > 0 && s > 0);
    settleNotifications();
    QCOMPARE(client.tagged("DELETE " + QByteArray::number(p)), QByteArray("OK DELETE completed"));
    const QList<NotificationMessage::List> batches = settleNotifications();
    QList<qint64> removed;
    for (const NotificationMessage::List &batch : batches) {
        for (const NotificationMessage &message : batch) {
            QCOMPARE(message.operation(), int(NotificationMessage::Remove));
            removed.append(message.uid());
        }
    }
    QCOMPARE(removed, (QList<qint64>{r, q, s, p}));
    QCOMPARE(listNames(client, "LIST 0 INF (RESOURCE \"del\")"), QStringList());

    // The top-level collection of the search resource is the virtual root.
    QCOMPARE(client.tagged("RESSELECT talvori_search_resource"), QByteArray("OK talvori_search_resource selected"));
    const QList<ListingLine> roots = client.list("LIST 0 1 (RESOURCE \"talvori_search_resource\")");
    if (!roots.isEmpty())
        QCOMPARE(client.tagged("DELETE " + QByteArray::number(roots.first().id)),
                 QByteArray("NO Cannot delete virtual root collection"));
}

void CollectionHandlersTest::rollbackLeavesNothingCommitNotifiesOnce()
{
    TestClient client;
    QVERIFY(m_server.login(client, "tx"));
    settleNotifications();
    QCOMPARE(client.tagged("BEGIN"), QByteArray("OK Begin completed"));
    QVERIFY(client.create("\"Gone\" 0 (MIMETYPE (inode/directory))") > 0);
    QCOMPARE(listNames(client, "LIST 0 1 (RESOURCE \"tx\")"), QStringList{"Gone"});
    QCOMPARE(client.tagged("ROLLBACK"), QByteArray("OK Rollback completed"));
    QCOMPARE(listNames(client, "LIST 0 1 (RESOURCE \"tx\")"), QStringList());
    QVERIFY(settleNotifications().isEmpty());

    QCOMPARE(client.tagged("BEGIN"), QByteArray("OK Begin completed"));
    const qint64 a = client.create("\"Kept\" 0 (MIMETYPE (inode/directory))");
    const qint64 b = client.create("\"KeptChild\" " + QByteArray::number(a) + " ()");
    QVERIFY(a > 0 && b > 0);
    QTest::qWait(300);
    QVERIFY(m_listener->batches.isEmpty()); // nothing before the commit
    QCOMPARE(client.tagged("COMMIT"), QByteArray("OK Commit completed"));
    const QList<NotificationMessage::List> batches = settleNotifications();
    QCOMPARE(batches.size(), 1);
    QCOMPARE(batches.first().size(), 2);
    QCOMPARE(batches.first().at(0).uid(), a);
    QCOMPARE(batches.first().at(0).operation(), int(NotificationMessage::Add));
    QCOMPARE(batches.first().at(1).uid(), b);
}

void CollectionHandlersTest::nestedBeginNeedsTwoCommits()
{
    TestClient client;
    QVERIFY(m_server.login(client, "tx"));
    TestClient other;
    QVERIFY(m_server.login(other, "tx"));
    QCOMPARE(client.tagged("BEGIN"), QByteArray("OK Begin completed"));
    QCOMPARE(client.tagged("BEGIN"), QByteArray("OK Begin completed"));
    QCOMPARE(client.tagged("RESSELECT tx"), QByteArray("OK tx selected"));
    QCOMPARE(client.tagged("COMMIT"), QByteArray("OK Commit completed"));
    QCOMPARE(client.tagged("COMMIT"), QByteArray("OK Commit completed"));
    QCOMPARE(client.tagged("COMMIT"), QByteArray("NO There is no transaction in progress."));
    QCOMPARE(client.tagged("RESSELECT \"\""), QByteArray("OK Resource deselected"));
    // The failed RESSELECT keeps the previous context.
    QCOMPARE(other.tagged("RESSELECT tx"), QByteArray("OK tx selected"));
    QCOMPARE(other.tagged("RESSELECT nope"), QByteArray("NO nope is not a valid resource identifier"));
    QCOMPARE(listNames(other, "RID LIST \"nothing\" 0 ()").size(), 0);
}

void CollectionHandlersTest::selectStatusSubscribe()
{
    TestClient client;
    QVERIFY(m_server.login(client, "someone"));
    const QByteArray child = QByteArray::number(m_child);

    QCOMPARE(client.run("SELECT SILENT " + child).size(), 1);
    const QList<QByteArray> selected = client.run("SELECT /Top/Child/");
    QCOMPARE(selected.size(), 6);
    QCOMPARE(selected.at(1), QByteArray("* 0 EXISTS"));
    QCOMPARE(selected.at(2), QByteArray("* 0 RECENT"));
    QCOMPARE(selected.at(3), QByteArray("* OK [UNSEEN 0] Message 0 is first unseen"));
    QCOMPARE(selected.at(4), QByteArray("* OK [UIDVALIDITY 1] UIDs valid"));
    QVERIFY(selected.at(5).endsWith("OK Completed"));
    // With a collection selected, RID needs no resource context.
    QCOMPARE(client.tagged("RID DELETE \"no-such-rid\""), QByteArray("NO No collection selected"));

    const QList<QByteArray> status = client.run("STATUS " + child + " (UNSEEN MESSAGES SIZE UIDVALIDITY)");
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.first(), QByteArray("* STATUS \"Top/Child\" (MESSAGES 0 UIDVALIDITY 1 UNSEEN 0 SIZE 0)"));

    settleNotifications();
    QCOMPARE(client.tagged("SUBSCRIBE " + child), QByteArray("OK Completed")); // already subscribed
    QVERIFY(settleNotifications().isEmpty());
    QCOMPARE(client.tagged("UNSUBSCRIBE " + QByteArray::number(m_top) + " " + child), QByteArray("OK Completed"));
    QCOMPARE(settleNotifications().size(), 1);
    // LSUB keeps the unsubscribed path to a subscribed collection, without its types.
    const QList<ListingLine> subscribed = client.list("LSUB 0 INF (RESOURCE \"res1\")");
    QStringList names;
    for (const ListingLine &line : subscribed)
        names.append(line.name + (line.mimeTypes.isEmpty() ? QStringLiteral("()") : QString()));
    QCOMPARE(names, (QStringList{"Leaf", "Child()", "Sibling", "Top()"}));
    QCOMPARE(client.tagged("SUBSCRIBE " + QByteArray::number(m_top) + " " + child), QByteArray("OK Completed"));
    // One failing name undoes the whole command.
    QCOMPARE(client.tagged("UNSUBSCRIBE " + child + " 999999"), QByteArray("NO Invalid collection"));
    QCOMPARE(client.list("LSUB " + child + " 0 ()").size(), 1);
}

void CollectionHandlersTest::colCopyCopiesTree_data()
{
    QTest::addColumn<QByteArray>("targetResource");

    QTest::newRow("same resource") << QByteArray("tree");
    QTest::newRow("another resource") << QByteArray("res2");
}

void CollectionHandlersTest::colCopyCopiesTree()
{
    QFETCH(QByteArray, targetResource);
    const bool sameResource = targetResource == "tree";
    TestClient owner;
    QVERIFY(m_server.login(owner, "tree"));
    TestClient targetOwner;
    QVERIFY(m_server.login(targetOwner, targetResource));
    const QList<qint64> tree = makeTree(owner);
    const qint64 top = tree.at(1);
    const qint64 target = targetOwner.create("\"CopyTarget" + QByteArray::number(m_trees)
                                             + "\" 0 (MIMETYPE (inode/directory message/rfc822))");
    QVERIFY(!tree.contains(-1) && target > 0);
    const QString targetResourceId = rows(QStringLiteral("SELECT resourceId FROM CollectionTable WHERE id = %1").arg(target)).value(0);
    const QStringList sourceItems = rows(QStringLiteral("SELECT id, collectionId, remoteId FROM PimItemTable ORDER BY id"));
    m_listener->settle(200);

    QCOMPARE(owner.tagged("COLCOPY " + QByteArray::number(top) + ' ' + QByteArray::number(target)),
             QByteArray("OK COLCOPY complete"));

    // The same three levels below the target, in the target's resource; remote identifiers and
    // revisions stay only where the resource does.
    const QList<qint64> topCopy = childrenOf(target);
    QCOMPARE(topCopy.size(), 1);
    const QList<qint64> midCopy = childrenOf(topCopy.first());
    QCOMPARE(midCopy.size(), 1);
    const QList<qint64> deepCopy = childrenOf(midCopy.first());
    QCOMPARE(deepCopy.size(), 1);
    QVERIFY(childrenOf(deepCopy.first()).isEmpty());
    const QList<qint64> copies{topCopy.first(), midCopy.first(), deepCopy.first()};
    const QStringList names{"Top" + QString::number(m_trees), QStringLiteral("Mid"), QStringLiteral("Deep")};
    const QStringList remote{QStringLiteral("t"), QStringLiteral("m"), QStringLiteral("d")};
    for (int i = 0; i < 3; ++i) {
        const QString expected = names.at(i) + ' ' + targetResourceId + ' '
            + (sameResource ? remote.at(i) + " r" + remote.at(i) : QStringLiteral(" "));
        QCOMPARE(rows(QStringLiteral("SELECT name, resourceId, remoteId, remoteRevision FROM CollectionTable WHERE id = %1")
                          .arg(copies.at(i))),
                 QStringList{expected});
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM CollectionMimeTypeRelation WHERE Collection_id = %1").arg(copies.at(i))),
                 QStringList{i < 2 ? QStringLiteral("2") : QStringLiteral("1")});
    }
    QCOMPARE(rows(QStringLiteral("SELECT type, value FROM CollectionAttributeTable WHERE collectionId = %1").arg(copies.first())),
             QStringList{QStringLiteral("color red")});

    // Each copied item is new: no remote identifier, dirty, its own payload.
    const QString copiedItems = QStringLiteral("SELECT collectionId, remoteId, remoteRevision, dirty FROM PimItemTable "
                                               "WHERE collectionId IN (%1, %2, %3) ORDER BY id")
                                    .arg(copies.at(0))
                                    .arg(copies.at(1))
                                    .arg(copies.at(2));
    QStringList items = rows(copiedItems);
    QCOMPARE(items.size(), 4);
    for (QString &item : items)
        item = item.section(QLatin1Char(' '), 0, 2) + ' ' + (item.endsWith(QLatin1String("true")) || item.endsWith(QLatin1Char('1')) ? "dirty" : "clean");
    // Children before the items of their parent: the deepest items come first.
    const QString deep = QString::number(copies.at(2));
    QCOMPARE(items, (QStringList{deep + "   dirty", deep + "   dirty", QString::number(copies.at(1)) + "   dirty",
                                 QString::number(copies.at(0)) + "   dirty"}));
    QSqlQuery file(m_db);
    QVERIFY(file.exec(QStringLiteral("SELECT PartTable.data FROM PartTable JOIN PimItemTable ON PimItemTable.id = "
                                     "PartTable.pimItemId WHERE PimItemTable.collectionId = %1 AND PartTable.external = %2")
                          .arg(copies.at(2))
                          .arg(m_db.driverName() == QLatin1String("QPSQL") ? QStringLiteral("true") : QStringLiteral("1")))
            && file.next());
    QFile payload(QString::fromUtf8(file.value(0).toByteArray()));
    QVERIFY(payload.open(QIODevice::ReadOnly));
    QCOMPARE(payload.readAll(), QByteArray(5000, 'f'));
    QCOMPARE(rows(QStringLiteral("SELECT id, collectionId, remoteId FROM PimItemTable WHERE id <= %1 ORDER BY id")
                      .arg(sourceItems.last().section(QLatin1Char(' '), 0, 0))),
             sourceItems);

    // Collections are announced top down, the items of each after its children.
    QList<qint64> addedCollections;
    QList<qint64> itemParents;
    QList<qint64> copied = copies;
    for (const QString &id : rows(QStringLiteral("SELECT id FROM PimItemTable WHERE collectionId IN (%1, %2, %3)")
                                      .arg(copies.at(0))
                                      .arg(copies.at(1))
                                      .arg(copies.at(2))))
        copied.append(id.toLongLong());
    for (const NotificationMessage &msg : m_listener->waitForRecords(NotificationMessage::Add, copied, 7)) {
        QCOMPARE(msg.operation(), int(NotificationMessage::Add));
        QCOMPARE(msg.resource(), targetResource);
        if (msg.type() == NotificationMessage::Collection)
            addedCollections.append(msg.uid());
        else
            itemParents.append(msg.parentCollection());
    }
    QCOMPARE(addedCollections, copies);
    QCOMPARE(itemParents, (QList<qint64>{copies.at(2), copies.at(2), copies.at(1), copies.at(0)}));
}

void CollectionHandlersTest::colMoveMovesTree_data()
{
    QTest::addColumn<QByteArray>("targetResource"); // empty: the top level

    QTest::newRow("within the resource") << QByteArray("tree");
    QTest::newRow("to the top level") << QByteArray();
    QTest::newRow("to another resource") << QByteArray("res2");
}

void CollectionHandlersTest::colMoveMovesTree()
{
    QFETCH(QByteArray, targetResource);
    const bool sameResource = targetResource != "res2";
    TestClient owner;
    QVERIFY(m_server.login(owner, "tree"));
    const QList<qint64> tree = makeTree(owner);
    qint64 target = 0;
    if (!targetResource.isEmpty()) {
        TestClient targetOwner;
        QVERIFY(m_server.login(targetOwner, targetResource));
        target = targetOwner.create("\"MoveTarget" + QByteArray::number(m_trees)
                                    + "\" 0 (MIMETYPE (inode/directory message/rfc822))");
        QVERIFY(target > 0);
    }
    QVERIFY(!tree.contains(-1));
    const QList<qint64> moved = tree.mid(1);
    const QString resourceId =
        rows(QStringLiteral("SELECT resourceId FROM CollectionTable WHERE id = %1").arg(target > 0 ? target : tree.first())).value(0);
    const QString subtree = QStringLiteral("(%1, %2, %3)").arg(moved.at(0)).arg(moved.at(1)).arg(moved.at(2));
    const QStringList itemIds = rows(QStringLiteral("SELECT id FROM PimItemTable WHERE collectionId IN %1 ORDER BY id").arg(subtree));
    m_listener->settle(200);

    const QByteArray command = "UID COLMOVE " + QByteArray::number(moved.first()) + ' ' + QByteArray::number(target);
    QCOMPARE(owner.tagged(command), QByteArray("OK COLMOVE complete"));
    QCOMPARE(owner.tagged(command), QByteArray("OK COLMOVE complete - nothing to do"));

    // The whole subtree goes along; in another resource it keeps none of the old one's
    // identifiers, and its items wait to be written there.
    QVERIFY(childrenOf(target).contains(moved.first()));
    QCOMPARE(childrenOf(moved.at(0)), QList<qint64>{moved.at(1)});
    QCOMPARE(childrenOf(moved.at(1)), QList<qint64>{moved.at(2)});
    const QStringList remote{QStringLiteral("t"), QStringLiteral("m"), QStringLiteral("d")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(rows(QStringLiteral("SELECT resourceId, remoteId, remoteRevision FROM CollectionTable WHERE id = %1")
                          .arg(moved.at(i))),
                 QStringList{resourceId + ' ' + (sameResource ? remote.at(i) + " r" + remote.at(i) : QStringLiteral(" "))});
    }
    QStringList items;
    for (const QString &item : rows(QStringLiteral("SELECT id, remoteId, remoteRevision, dirty FROM PimItemTable "
                                                   "WHERE collectionId IN %1 ORDER BY id")
                                        .arg(subtree))) {
        const QString dirty = item.section(QLatin1Char(' '), 3);
        items.append(item.section(QLatin1Char(' '), 0, 2) + ' '
                     + (dirty == QLatin1String("true") || dirty == QLatin1String("1") ? "dirty" : "clean"));
    }
    QStringList expected;
    const QStringList names{QStringLiteral("top"), QStringLiteral("mid"), QStringLiteral("deep"), QStringLiteral("file")};
    for (int i = 0; i < 4; ++i)
        expected.append(itemIds.at(i) + (sameResource ? " i" + names.at(i) + " v1 clean" : QStringLiteral("   dirty")));
    QCOMPARE(items, expected);

    // One record, with the identifier the old resource knows the collection by.
    const qint64 collection = moved.first();
    const NotificationMessage::List records = m_listener->waitForRecords(
        [collection](const NotificationMessage &msg) {
            return msg.type() == NotificationMessage::Collection && msg.operation() == NotificationMessage::Move
                && msg.uid() == collection;
        },
        1);
    QCOMPARE(records.size(), 1);
    const NotificationMessage &msg = records.first();
    QCOMPARE(msg.type(), int(NotificationMessage::Collection));
    QCOMPARE(msg.operation(), int(NotificationMessage::Move));
    QCOMPARE(msg.uid(), moved.first());
    QCOMPARE(msg.remoteId(), QStringLiteral("t"));
    QCOMPARE(msg.parentCollection(), tree.first());
    QCOMPARE(msg.parentDestCollection(), target);
    QCOMPARE(msg.resource(), targetResource.isEmpty() ? QByteArray("tree") : targetResource);
    QCOMPARE(msg.itemParts(), QSet<QByteArray>{"PARENT"});
}

QTEST_GUILESS_MAIN(CollectionHandlersTest)
#include "tst_collectionhandlers.moc"

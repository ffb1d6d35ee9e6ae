// Collection commands against the real server process over its socket: the listing line byte for
// byte, listing order and filters, scopes by id, remote id and remote id chain, create, modify,
// delete, select, status, subscribe, client transactions and the resource context.
// TALVORI_TEST_BACKEND picks the database (TestBackend).

#include "notifylistener.h"
#include "testclient.h"
#include "testserver.h"

#include <notificationmessage.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusReply>
#include <QSignalSpy>
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

private:
    static QStringList listNames(TestClient &client, const QByteArray &command);
    // Notifications that arrive within a short while.
    QList<NotificationMessage::List> settleNotifications();

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
};

void CollectionHandlersTest::initTestCase()
{
    const QStringList resources = {QStringLiteral("res1"), QStringLiteral("res2"), QStringLiteral("fmt"),
                                   QStringLiteral("tx"),   QStringLiteral("mod"),  QStringLiteral("del")};
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
}

void CollectionHandlersTest::cleanupTestCase()
{
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

QTEST_GUILESS_MAIN(CollectionHandlersTest)
#include "tst_collectionhandlers.moc"

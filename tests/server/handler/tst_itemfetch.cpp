// FETCH against the real server process over its socket: the item line byte for byte, options and
// attributes, part values (literal, empty, NIL, versioned, external file or its content), order,
// scopes by id, remote id and remote id chain, ancestors, failures and the access time.
// TALVORI_TEST_BACKEND picks the database (TestBackend).

#include "testclient.h"
#include "testserver.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>


class ItemFetchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void itemLine_data();
    void itemLine();
    void dateTimeIsQuotedInUtc();
    void externalPayload();
    void ascendingOrderAndSelectedCollection();
    void remoteIdScopes_data();
    void remoteIdScopes();
    void failures_data();
    void failures();
    void queryFailures_data();
    void queryFailures();
    void accessTime();

private:
    // Runs SQL on the server's database file beside the server, as an administrator would.
    bool sql(const QByteArray &statement);
    // The first column of the first row as text; empty for NULL or no row.
    QByteArray sqlValue(const QByteArray &statement);
    QByteArray head(qint64 id, const QByteArray &remoteId, qint64 collection) const;

    TestServer m_server;
    QSqlDatabase m_admin;
    TestClient m_client;
    TestClient m_resource;
    // Top (remote id "top") / Child ("child") of resource "res1".
    qint64 m_top = -1;
    qint64 m_child = -1;
    // a (Child): ATR:X "attr", PLD:RFC822 "hello", flag \SEEN.
    // b (Top): PLD:HEAD version 2 "head", PLD:RFC822 empty.
    // c (Child): PLD:RFC822 of 5000 bytes, stored in a file.
    // d (Top): PLD:RFC822 whose data is NULL (not cached).
    qint64 m_a = -1;
    qint64 m_b = -1;
    qint64 m_c = -1;
    qint64 m_d = -1;
    QByteArray m_large;
};

void ItemFetchTest::initTestCase()
{
    // A server far from UTC shows whether item times are shifted on the way out.
    m_server.environment().setVariable(QStringLiteral("TZ"), QStringLiteral("America/New_York"));
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    m_admin = m_server.addDatabaseConnection(QStringLiteral("admin"));

    QVERIFY(m_server.login(m_client, "fetchclient"));
    QVERIFY(m_server.login(m_resource, "res1"));
    m_top = m_resource.create("\"Top\" 0 (MIMETYPE (inode/directory text/plain) REMOTEID \"top\")");
    m_child = m_resource.create("\"Child\" " + QByteArray::number(m_top)
                                + " (MIMETYPE (text/plain) REMOTEID \"child\")");
    QVERIFY(m_top > 0 && m_child > 0);

    m_large.resize(5000);
    for (int i = 0; i < m_large.size(); ++i)
        m_large[i] = char('a' + i % 26);
    const QByteArray type = "\\MimeType[text/plain] ";
    // Parts go in name order, so the order they come back in does not depend on how the database
    // walks an item's parts.
    m_a = m_resource.tvAppend(m_child, "(ATR:X :4 PLD:RFC822 :5)", "attrhello", "(" + type + "\\RemoteId[a] \\SEEN)");
    m_b = m_resource.tvAppend(m_top, "(PLD:HEAD[2] :4 PLD:RFC822 :0)", "head", "(" + type + "\\RemoteId[b])");
    m_c = m_resource.tvAppend(m_child, "(PLD:RFC822 :5000)", m_large, "(" + type + "\\RemoteId[c])");
    m_d = m_resource.tvAppend(m_top, "(PLD:RFC822 :3)", "xyz", "(" + type + "\\RemoteId[d])");
    QVERIFY(m_a > 0 && m_b > m_a && m_c > m_b && m_d > m_c);
    QVERIFY(sql("UPDATE PartTable SET data = NULL WHERE pimItemId = " + QByteArray::number(m_d)));
}

void ItemFetchTest::cleanupTestCase()
{
    m_client.disconnectFromServer();
    m_resource.disconnectFromServer();
    QCOMPARE(m_server.stop(), 0);
}

bool ItemFetchTest::sql(const QByteArray &statement)
{
    // Opened for each statement, so no connection of the test holds the database between them.
    if (!m_admin.open()) {
        qWarning() << m_admin.lastError().text();
        return false;
    }
    QSqlQuery query(m_admin);
    const bool ok = query.exec(QString::fromUtf8(statement));
    if (!ok)
        qWarning() << statement << query.lastError().text();
    query.finish();
    m_admin.close();
    return ok;
}

QByteArray ItemFetchTest::sqlValue(const QByteArray &statement)
{
    QByteArray result;
    if (m_admin.open()) {
        QSqlQuery query(m_admin);
        if (query.exec(QString::fromUtf8(statement)) && query.next() && !query.value(0).isNull())
            result = query.value(0).toString().toUtf8();
        query.finish();
        m_admin.close();
    }
    return result;
}

// The fixed start of an item line, up to COLLECTIONID.
QByteArray ItemFetchTest::head(qint64 id, const QByteArray &remoteId, qint64 collection) const
{
    const QByteArray number = QByteArray::number(id);
    return "* " + number + " FETCH (UID " + number + " REV 0 REMOTEID \"" + remoteId
           + "\" MIMETYPE \"text/plain\" COLLECTIONID " + QByteArray::number(collection);
}

void ItemFetchTest::itemLine_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray a = QByteArray::number(m_a);
    const QByteArray b = QByteArray::number(m_b);
    const QByteArray c = QByteArray::number(m_c);
    const QByteArray d = QByteArray::number(m_d);
    const QByteArray headA = head(m_a, "a", m_child);
    const QByteArray headB = head(m_b, "b", m_top);
    const QByteArray top = "(" + QByteArray::number(m_top) + " \"top\")";
    const QByteArray child = "(" + QByteArray::number(m_child) + " \"child\")";

    QTest::newRow("no attribute list") << "UID FETCH " + a << QByteArrayList{headA + ")"};
    QTest::newRow("always-sent words add nothing") << "UID FETCH " + a + " (UID REV REMOTEID)"
                                                   << QByteArrayList{headA + ")"};
    QTest::newRow("size, remote revision, flags in fixed order")
        << "UID FETCH " + a + " (FLAGS REMOTEREVISION SIZE)"
        << QByteArrayList{headA + " SIZE 9 REMOTEREVISION \"\" FLAGS (\\SEEN))"};
    QTest::newRow("no flags") << "UID FETCH " + b + " (FLAGS)" << QByteArrayList{headB + " FLAGS ())"};
    QTest::newRow("named part as literal") << "UID FETCH " + a + " (PLD:RFC822)"
                                           << QByteArrayList{headA + " PLD:RFC822 {5}\r\nhello)"};
    QTest::newRow("empty part, versioned part") << "UID FETCH " + b + " (PLD:RFC822 PLD:HEAD)"
                                                << QByteArrayList{headB + " PLD:HEAD[2] {4}\r\nhead PLD:RFC822 \"\")"};
    QTest::newRow("version suffix in the request matches nothing") << "UID FETCH " + b + " (PLD:HEAD[2])"
                                                                   << QByteArrayList{headB + ")"};
    QTest::newRow("unknown part name") << "UID FETCH " + a + " (PLD:NONE)" << QByteArrayList{headA + ")"};
    QTest::newRow("FULLPAYLOAD returns every payload part")
        << "UID FETCH " + b + " FULLPAYLOAD (UID)" << QByteArrayList{headB + " PLD:HEAD[2] {4}\r\nhead PLD:RFC822 \"\")"};
    QTest::newRow("FULLPAYLOAD without attribute list") << "UID FETCH " + a + " FULLPAYLOAD"
                                                        << QByteArrayList{headA + " PLD:RFC822 {5}\r\nhello)"};
    QTest::newRow("ALLATTR returns attributes only") << "UID FETCH " + a + " ALLATTR"
                                                     << QByteArrayList{headA + " ATR:X {4}\r\nattr)"};
    QTest::newRow("ALLATTR with a named payload part")
        << "UID FETCH " + a + " ALLATTR (PLD:RFC822)" << QByteArrayList{headA + " ATR:X {4}\r\nattr PLD:RFC822 {5}\r\nhello)"};
    QTest::newRow("data not cached is NIL") << "UID FETCH " + d + " CACHEONLY (PLD:RFC822)"
                                            << QByteArrayList{head(m_d, "d", m_top) + " PLD:RFC822 NIL)"};
    QTest::newRow("ancestors up to the root") << "UID FETCH " + a + " ANCESTORS INF"
                                              << QByteArrayList{headA + " ANCESTORS (" + child + ' ' + top + " (0 \"\")))"};
    QTest::newRow("ancestors cut at the depth") << "UID FETCH " + a + " ANCESTORS 1"
                                                << QByteArrayList{headA + " ANCESTORS (" + child + "))"};
    QTest::newRow("ancestors shared by items of one collection")
        << "UID FETCH " + a + ',' + c + " ANCESTORS 2"
        << QByteArrayList{headA + " ANCESTORS (" + child + ' ' + top + "))",
                          head(m_c, "c", m_child) + " ANCESTORS (" + child + ' ' + top + "))"};
    QTest::newRow("ancestors of a top-level collection's item")
        << "UID FETCH " + b + " ANCESTORS 3" << QByteArrayList{headB + " ANCESTORS (" + top + " (0 \"\")))"};
    QTest::newRow("ancestors, then flags, then parts")
        << "UID FETCH " + a + " ANCESTORS 1 (PLD:RFC822 FLAGS)"
        << QByteArrayList{headA + " FLAGS (\\SEEN) ANCESTORS (" + child + ") PLD:RFC822 {5}\r\nhello)"};
    QTest::newRow("nothing matched") << QByteArray("UID FETCH 999999 (FLAGS PLD:RFC822)") << QByteArrayList{};
    QTest::newRow("text after the attribute list is dropped")
        << "UID FETCH " + a + " (UID) trailing words" << QByteArrayList{headA + ")"};
}

void ItemFetchTest::itemLine()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArrayList, expected);

    QList<QByteArray> lines = m_client.run(command);
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.takeLast().endsWith(" OK UID FETCH completed"), lines.join('\n').constData());
    QCOMPARE(lines, expected);
    // The session goes on with the next command.
    QCOMPARE(m_client.run("CAPABILITY").size(), 2);
}

void ItemFetchTest::dateTimeIsQuotedInUtc()
{
    // Stored as the server stores item times: UTC, without a zone.
    QVERIFY(sql("UPDATE PimItemTable SET datetime = '2024-03-05 17:08:09' WHERE id = " + QByteArray::number(m_b)));
    const QList<QByteArray> lines = m_client.run("UID FETCH " + QByteArray::number(m_b) + " (DATETIME)");
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.first(), head(m_b, "b", m_top) + " DATETIME \"05-Mar-2024 17:08:09 +0000\")");
}

void ItemFetchTest::externalPayload()
{
    const QByteArray c = QByteArray::number(m_c);
    const QByteArray headC = head(m_c, "c", m_child);

    QList<QByteArray> lines = m_client.run("UID FETCH " + c + " (PLD:RFC822)");
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.first(), headC + " PLD:RFC822 {5000}\r\n" + m_large + ')');

    lines = m_client.run("UID FETCH " + c + " EXTERNALPAYLOAD (PLD:RFC822)");
    QCOMPARE(lines.size(), 2);
    const QByteArray prefix = headC + " PLD:RFC822 [FILE]  {";
    QVERIFY2(lines.first().startsWith(prefix), lines.first().constData());
    const int pathStart = lines.first().indexOf("}\r\n") + 3;
    const QByteArray path = lines.first().mid(pathStart, lines.first().size() - pathStart - 1);
    QCOMPARE(lines.first().mid(prefix.size(), pathStart - 3 - prefix.size()), QByteArray::number(path.size()));
    QFile file(QFile::decodeName(path));
    QVERIFY2(file.open(QIODevice::ReadOnly), path.constData());
    QCOMPARE(file.readAll(), m_large);
    file.close();

    // A payload file that went missing is not an empty payload.
    const QString aside = file.fileName() + QLatin1String(".aside");
    QVERIFY(QFile::rename(file.fileName(), aside));
    lines = m_client.run("UID FETCH " + c + " (PLD:RFC822)");
    QVERIFY(QFile::rename(aside, file.fileName()));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.first(), headC + " PLD:RFC822 NIL)");
}

void ItemFetchTest::ascendingOrderAndSelectedCollection()
{
    const QByteArray set = QByteArray::number(m_d) + ',' + QByteArray::number(m_a) + ':' + QByteArray::number(m_b)
                           + ',' + QByteArray::number(m_c);
    QList<QByteArray> lines = m_client.run("UID FETCH " + set);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), head(m_a, "a", m_child) + ')');
    QCOMPARE(lines.at(1), head(m_b, "b", m_top) + ')');
    QCOMPARE(lines.at(2), head(m_c, "c", m_child) + ')');
    QCOMPARE(lines.at(3), head(m_d, "d", m_top) + ')');

    // Without a scope word the set counts within the selected collection.
    TestClient client;
    QVERIFY(m_server.login(client, "selecting"));
    QVERIFY(client.run("SELECT SILENT " + QByteArray::number(m_child)).last().contains(" OK "));
    lines = client.run("FETCH 1:* (FLAGS)");
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), head(m_a, "a", m_child) + " FLAGS (\\SEEN))");
    QCOMPARE(lines.at(1), head(m_c, "c", m_child) + " FLAGS ())");
    QVERIFY(lines.at(2).endsWith(" OK FETCH completed"));
}

void ItemFetchTest::remoteIdScopes_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray headA = head(m_a, "a", m_child) + ')';
    const QByteArray headC = head(m_c, "c", m_child) + ')';
    const QByteArray child = QByteArray::number(m_child);
    QTest::newRow("RID in the resource context") << QByteArray("RESSELECT res1") << QByteArray("RID FETCH (c a)")
                                                 << QByteArrayList{headA, headC, "OK RID FETCH completed"};
    QTest::newRow("RID as a single atom") << QByteArray("RESSELECT res1") << QByteArray("RID FETCH b")
                                          << QByteArrayList{head(m_b, "b", m_top) + ')', "OK RID FETCH completed"};
    QTest::newRow("RID in the selected collection") << "SELECT SILENT " + child << QByteArray("RID FETCH (a b)")
                                                    << QByteArrayList{headA, "OK RID FETCH completed"};
    QTest::newRow("RID of nothing") << QByteArray("RESSELECT res1") << QByteArray("RID FETCH nosuch")
                                    << QByteArrayList{"OK RID FETCH completed"};
    QTest::newRow("HRID chain") << QByteArray("RESSELECT res1")
                                << QByteArray("HRID FETCH ((-1 \"a\") (-1 \"child\") (-1 \"top\") (0 \"\"))")
                                << QByteArrayList{headA, "OK FETCH completed"};
    QTest::newRow("RID without context") << QByteArray() << QByteArray("RID FETCH a")
                                         << QByteArrayList{
                                                "NO Operations based on remote identifiers require a resource or "
                                                "collection context"};
}

void ItemFetchTest::remoteIdScopes()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, command);
    QFETCH(QByteArrayList, expected);

    TestClient client;
    QVERIFY(m_server.login(client, "rid"));
    if (!context.isEmpty())
        QVERIFY(client.run(context).last().contains(" OK "));
    QList<QByteArray> lines = client.run(command);
    QVERIFY(!lines.isEmpty());
    QByteArray &last = lines.last();
    last = last.mid(last.indexOf(' ') + 1);
    QCOMPARE(lines, expected);
}

void ItemFetchTest::failures_data()
{
    QTest::addColumn<QByteArray>("arguments");
    QTest::addColumn<QByteArray>("result");

    QTest::newRow("unknown option") << QByteArray("BOGUS (UID)") << QByteArray("NO Invalid command argument");
    QTest::newRow("empty word") << QByteArray("\"\" (UID)") << QByteArray("NO Invalid command argument");
    QTest::newRow("option in lower case") << QByteArray("fullpayload") << QByteArray("NO Invalid command argument");
    QTest::newRow("ancestors without depth") << QByteArray("ANCESTORS")
                                             << QByteArray("NO ImapParserException: No depth specified");
    QTest::newRow("ancestors with a word") << QByteArray("ANCESTORS deep (UID)")
                                           << QByteArray("NO ImapParserException: Invalid depth argument");
}

void ItemFetchTest::failures()
{
    QFETCH(QByteArray, arguments);
    QFETCH(QByteArray, result);

    const QList<QByteArray> lines = m_client.run("UID FETCH " + QByteArray::number(m_a) + ' ' + arguments);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().mid(lines.first().indexOf(' ') + 1), result);
    QCOMPARE(m_client.run("CAPABILITY").size(), 2);
}

void ItemFetchTest::queryFailures_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("items") << QByteArray("MimeTypeTable") << QByteArray("(FLAGS)")
                           << QByteArray("NO Unable to list items");
    // Without CACHEONLY the retrieval of missing payload reads the part table first.
    QTest::newRow("parts") << QByteArray("PartTable") << QByteArray("CACHEONLY (FLAGS PLD:RFC822)")
                           << QByteArray("NO Unable to list item parts");
    QTest::newRow("retrieval") << QByteArray("PartTable") << QByteArray("(FLAGS PLD:RFC822)")
                               << QByteArray("NO ItemRetrieverException: Unable to retrieve items");
    QTest::newRow("flags") << QByteArray("PimItemFlagRelation") << QByteArray("(FLAGS PLD:RFC822)")
                           << QByteArray("NO Unable to retrieve item flags");
}

void ItemFetchTest::queryFailures()
{
    QFETCH(QByteArray, table);
    QFETCH(QByteArray, attributes);
    QFETCH(QByteArray, message);

    // A table the query needs is taken away for one command.
    QVERIFY(sql("ALTER TABLE " + table + " RENAME TO Away"));
    const QList<QByteArray> lines = m_client.run("UID FETCH 1:* " + attributes);
    QVERIFY(sql("ALTER TABLE Away RENAME TO " + table));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().mid(lines.first().indexOf(' ') + 1), message);
    // The failure ends this command only.
    QCOMPARE(m_client.run("CAPABILITY").size(), 2);
}

void ItemFetchTest::accessTime()
{
    const QByteArray a = QByteArray::number(m_a);
    const QByteArray c = QByteArray::number(m_c);
    const QByteArray atime = "SELECT atime FROM PimItemTable WHERE id = ";
    QVERIFY(sql("UPDATE PimItemTable SET atime = NULL"));

    QCOMPARE(m_client.run("UID FETCH 999999").size(), 1);
    QCOMPARE(sqlValue("SELECT count(*) FROM PimItemTable WHERE atime IS NOT NULL"), QByteArray("0"));

    QCOMPARE(m_client.run("UID FETCH " + a).size(), 2);
    QVERIFY(!sqlValue(atime + a).isEmpty());
    QVERIFY(sqlValue(atime + c).isEmpty());

    // Remote identifiers within a resource context are resolved through a join; the update of
    // the access time must not depend on it.
    TestClient client;
    QVERIFY(m_server.login(client, "rid-atime"));
    QVERIFY(client.run("RESSELECT res1").last().contains(" OK "));
    QCOMPARE(client.run("RID FETCH c").size(), 2);
    QVERIFY(!sqlValue(atime + c).isEmpty());
    QCOMPARE(sqlValue("SELECT count(*) FROM PimItemTable WHERE atime IS NOT NULL"), QByteArray("2"));
}

QTEST_GUILESS_MAIN(ItemFetchTest)

#include "tst_itemfetch.moc"

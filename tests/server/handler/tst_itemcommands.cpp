// Item commands against the real server process over its socket: APPEND and X-TVAPPEND (special
// flags, part lists, literal sizes around the payload-file threshold, streamed payloads), STORE
// (flags, revision check, remote identifiers, dirty mark, parts, streamed part uploads), the
// change notifications they cause, failures that leave the stream usable, and clients that leave
// in the middle of a literal. What the server stored is read straight from its database; real
// messages also make the round trip through FETCH. TALVORI_TEST_BACKEND picks the database
// (TestBackend).

#include "notifylistener.h"
#include "sqlinspection.h"
#include "testclient.h"
#include "testserver.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>


namespace {

const char StoredDateFormat[] = "dd-MMM-yyyy hh:mm:ss +0000";

// Bytes that break text handling: CR, LF, CR LF, NUL and 8-bit values, repeated to a size.
QByteArray binaryPayload(qint64 size)
{
    static const QByteArray pattern = QByteArray("line\r\nbare\rlf\n", 14) + QByteArray(1, '\0') + "\xff\x80\xe9{5}\"\\";
    QByteArray data;
    data.reserve(size);
    while (data.size() < size)
        data.append(pattern);
    data.truncate(size);
    return data;
}

} // namespace

class ItemCommandsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void appendStoresItem_data();
    void appendStoresItem();
    void literalSizesAroundThreshold_data();
    void literalSizesAroundThreshold();
    void tvAppendCutsParts_data();
    void tvAppendCutsParts();
    void failuresKeepStreamUsable_data();
    void failuresKeepStreamUsable();
    void clientLeavingMidLiteralLeavesNothing_data();
    void clientLeavingMidLiteralLeavesNothing();
    void notificationsFollowCommits();
    void storeFlags_data();
    void storeFlags();
    void storeOnManyItemsNotifiesAsItemByItem_data();
    void storeOnManyItemsNotifiesAsItemByItem();
    void storeRevisionCheck();
    void storeRemoteIdentifiersAndDirtyMark();
    void storeWithoutChangeWritesNothing_data();
    void storeWithoutChangeWritesNothing();
    void storeParts();
    void storeStreamsLargePartIntoFile();
    void payloadComesBackByteIdentical_data();
    void payloadComesBackByteIdentical();
    void removeDeletesItems();
    void copyGivesEachCopyItsOwnPayload_data();
    void copyGivesEachCopyItsOwnPayload();
    void copyFailingMidwayLeavesNothing();
    void copiesKeepTheirOwnSourcesContent();
    void moveKeepsOrClearsRemoteIdentifier_data();
    void moveKeepsOrClearsRemoteIdentifier();
    void linkAndUnlinkVirtualCollection();
    void expungeRemovesFlaggedItemsEverywhere();
    void removalsDeleteFilesWithTheCommit_data();
    void removalsDeleteFilesWithTheCommit();

private:
    // Three fresh items with one small payload each.
    QList<qint64> threeItems(TestClient &client);

    QVariant value(const QString &sql);
    // The columns of the first row, as text.
    QStringList row(const QString &sql);
    QByteArray partData(qint64 item, const QString &name);
    QStringList flagsOf(qint64 item);
    int itemCount() { return value(QStringLiteral("SELECT COUNT(*) FROM PimItemTable")).toInt(); }
    int partCount() { return value(QStringLiteral("SELECT COUNT(*) FROM PartTable")).toInt(); }
    QStringList payloadFiles() const;

    TestServer m_server;
    std::unique_ptr<NotifyListener> m_listener;
    QSqlDatabase m_db;
    TestClient m_res;
    qint64 m_collection = -1;
    QByteArray m_col;
    // Another collection of "res", and one of "res2".
    qint64 m_archive = -1;
    qint64 m_foreign = -1;
};

void ItemCommandsTest::initTestCase()
{
    // Away from UTC, so that a stored time read back as local time would show in the answers.
    m_server.environment().setVariable(QStringLiteral("TZ"), QStringLiteral("EST5"));
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res"), QStringLiteral("res2")}));
    m_db = m_server.addDatabaseConnection(QStringLiteral("inspect"));
    m_listener = std::make_unique<NotifyListener>(m_server.bus().address());

    QVERIFY(m_server.login(m_res, "res"));
    m_collection = m_res.create("\"Inbox\" 0 (MIMETYPE (message/rfc822 text/calendar) REMOTEID \"inbox\")");
    QVERIFY(m_collection > 0);
    m_col = QByteArray::number(m_collection);
    m_archive = m_res.create("\"Archive\" 0 (MIMETYPE (message/rfc822 text/calendar) REMOTEID \"archive\")");
    TestClient other;
    QVERIFY(m_server.login(other, "res2"));
    m_foreign = other.create("\"Foreign\" 0 (MIMETYPE (message/rfc822) REMOTEID \"foreign\")");
    QVERIFY(m_archive > 0 && m_foreign > 0);
    QVERIFY2(m_db.open(), qPrintable(m_db.lastError().text()));
}

void ItemCommandsTest::cleanupTestCase()
{
    m_db.close();
    m_listener.reset();
    m_res.disconnectFromServer();
    QCOMPARE(m_server.stop(), 0);
}

QList<qint64> ItemCommandsTest::threeItems(TestClient &client)
{
    QList<qint64> ids;
    for (int i = 0; i < 3; ++i)
        ids.append(client.tvAppend(m_collection, "(PLD:RFC822 :4)", "body"));
    return ids;
}

QVariant ItemCommandsTest::value(const QString &sql)
{
    return SqlInspection::value(m_db, sql);
}

QStringList ItemCommandsTest::row(const QString &sql)
{
    return SqlInspection::row(m_db, sql);
}

QByteArray ItemCommandsTest::partData(qint64 item, const QString &name)
{
    QSqlQuery query(m_db);
    // Part names are plain ASCII here; written into the statement they compare alike on every
    // backend, whether the column holds text or bytes.
    if (!query.exec(QStringLiteral("SELECT data, external FROM PartTable WHERE pimItemId = %1 AND name = '%2'")
                        .arg(item)
                        .arg(name))
        || !query.next())
        return "<no part>";
    const QByteArray data = query.value(0).toByteArray();
    if (!query.value(1).toBool())
        return data;
    QFile file(QString::fromUtf8(data));
    if (!file.open(QIODevice::ReadOnly))
        return "<missing file>";
    return file.readAll();
}

QStringList ItemCommandsTest::flagsOf(qint64 item)
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("SELECT FlagTable.name FROM FlagTable JOIN PimItemFlagRelation ON FlagTable.id = "
                              "PimItemFlagRelation.Flag_id WHERE PimItemFlagRelation.PimItem_id = %1 ORDER BY 1")
                   .arg(item));
    QStringList names;
    while (query.next())
        names.append(query.value(0).toString());
    return names;
}

QStringList ItemCommandsTest::payloadFiles() const
{
    return QDir(m_server.environment().dataHome() + QStringLiteral("/talvori/file_db_data"))
        .entryList(QDir::Files, QDir::Name);
}

void ItemCommandsTest::appendStoresItem_data()
{
    QTest::addColumn<QByteArray>("arguments");
    QTest::addColumn<QByteArray>("expectedDate"); // empty: now
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QString>("remoteId");
    QTest::addColumn<QString>("remoteRevision");
    QTest::addColumn<QStringList>("flags");

    QTest::newRow("no flags, no date-time") << QByteArray() << QByteArray() << "message/rfc822" << QString() << QString()
                                            << QStringList();
    QTest::newRow("special flags, date-time with offset")
        << QByteArray("(\\MimeType[text/calendar] \\RemoteId[a]b] \\RemoteRevision[r[1]] \\Seen $Label) "
                      "\"10-Dec-2026 10:00:00 +0200\" ")
        << QByteArray("10-Dec-2026 08:00:00 +0000") << "text/calendar" << "a]b" << "r[1]"
        << QStringList{QStringLiteral("$Label"), QStringLiteral("\\Seen")};
    QTest::newRow("unknown MIME type is created")
        << QByteArray("(\\MimeType[application/x-new]) ") << QByteArray() << "application/x-new" << QString()
        << QString() << QStringList();
}

void ItemCommandsTest::appendStoresItem()
{
    QFETCH(QByteArray, arguments);
    QFETCH(QByteArray, expectedDate);
    QFETCH(QString, mimeType);
    QFETCH(QString, remoteId);
    QFETCH(QString, remoteRevision);
    QFETCH(QStringList, flags);

    const QByteArray payload = binaryPayload(300);
    const QByteArray tag = m_res.nextTag();
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    // A given size below the literal's length is raised to it.
    const QList<QByteArray> lines = m_res.runLiteral(tag, "APPEND " + m_col + " 3 " + arguments, payload);
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);

    QCOMPARE(lines.size(), 2);
    static const QRegularExpression first(QStringLiteral("^t\\d+ \\[UIDNEXT (\\d+) DATETIME \"([^\"]+)\"\\]$"));
    const QRegularExpressionMatch match = first.match(QString::fromLatin1(lines.first()));
    QVERIFY2(match.hasMatch(), lines.first().constData());
    QCOMPARE(lines.last(), tag + " OK Append completed");
    const qint64 id = match.captured(1).toLongLong();
    const QString dateText = match.captured(2);
    if (expectedDate.isEmpty()) {
        QDateTime date = QLocale::c().toDateTime(dateText, QString::fromLatin1(StoredDateFormat));
        date.setTimeSpec(Qt::UTC);
        QVERIFY2(date >= before && date <= after, qPrintable(dateText));
    } else {
        QCOMPARE(dateText, QString::fromLatin1(expectedDate));
    }
    // The id answered is the new item's own.
    QCOMPARE(value(QStringLiteral("SELECT MAX(id) FROM PimItemTable")).toLongLong(), id);

    QSqlQuery item(m_db);
    QVERIFY(item.exec(QStringLiteral("SELECT MimeTypeTable.name, remoteId, remoteRevision, dirty, size, rev, "
                                     "collectionId FROM PimItemTable JOIN MimeTypeTable ON MimeTypeTable.id = "
                                     "mimeTypeId WHERE PimItemTable.id = %1")
                          .arg(id)));
    QVERIFY(item.next());
    QCOMPARE(item.value(0).toString(), mimeType);
    QCOMPARE(item.value(1).toString(), remoteId);
    QCOMPARE(item.value(2).toString(), remoteRevision);
    // Only an item that came with its remote identifier is known to its resource.
    QCOMPARE(item.value(3).toBool(), remoteId.isEmpty());
    QCOMPARE(item.value(4).toLongLong(), qint64(payload.size()));
    QCOMPARE(item.value(5).toInt(), 0);
    QCOMPARE(item.value(6).toLongLong(), m_collection);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM PartTable WHERE pimItemId = %1").arg(id)).toInt(), 1);
    QCOMPARE(partData(id, QStringLiteral("PLD:RFC822")), payload);
    QCOMPARE(flagsOf(id), flags);
}

void ItemCommandsTest::literalSizesAroundThreshold_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("external");

    for (const QByteArray &command : {QByteArray("APPEND"), QByteArray("X-TVAPPEND")}) {
        QTest::newRow(command + " empty") << command << qint64(0) << false;
        QTest::newRow(command + " threshold") << command << qint64(4096) << false;
        QTest::newRow(command + " threshold + 1") << command << qint64(4097) << true;
    }
    // Streamed through the temporary file in thousands of chunks.
    QTest::newRow("APPEND 6 MiB") << QByteArray("APPEND") << qint64(6 << 20) << true;
}

void ItemCommandsTest::literalSizesAroundThreshold()
{
    QFETCH(QByteArray, command);
    QFETCH(qint64, size);
    QFETCH(bool, external);

    const QByteArray payload = binaryPayload(size);
    const QByteArray tag = m_res.nextTag();
    const QByteArray partList = command == "X-TVAPPEND" ? "() (PLD:RFC822 :" + QByteArray::number(size) + ") " : "";
    const QList<QByteArray> lines =
        m_res.runLiteral(tag, command + ' ' + m_col + ' ' + QByteArray::number(size) + ' ' + partList, payload);
    QVERIFY2(lines.size() == 2, lines.value(0).constData());
    QCOMPARE(lines.last(), tag + " OK Append completed");
    const qint64 id = value(QStringLiteral("SELECT MAX(id) FROM PimItemTable")).toLongLong();

    QCOMPARE(value(QStringLiteral("SELECT external FROM PartTable WHERE pimItemId = %1").arg(id)).toBool(), external);
    QCOMPARE(value(QStringLiteral("SELECT datasize FROM PartTable WHERE pimItemId = %1").arg(id)).toLongLong(), size);
    QVERIFY(partData(id, QStringLiteral("PLD:RFC822")) == payload);
    // No temporary file is left beside the payload files.
    for (const QString &file : payloadFiles())
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+_r\\d+$")).match(file).hasMatch(), qPrintable(file));
}

void ItemCommandsTest::tvAppendCutsParts_data()
{
    QTest::addColumn<QByteArray>("partList");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("parts"); // "name version data"
    QTest::addColumn<qint64>("size");

    QTest::newRow("two parts") << QByteArray("(PLD:HEAD :5 PLD:BODY :3)") << QByteArray("12345678")
                               << QStringList{QStringLiteral("PLD:BODY 0 678"), QStringLiteral("PLD:HEAD 0 12345")}
                               << qint64(8);
    QTest::newRow("version, bad size, trailing name")
        << QByteArray("(PLD:A[2] :3 ATR:X :zz PLD:TAIL)") << QByteArray("abcdef")
        << QStringList{QStringLiteral("ATR:X 0 "), QStringLiteral("PLD:A 2 abc")} << qint64(6);
    QTest::newRow("data shorter than the sizes")
        << QByteArray("(PLD:A :4 PLD:B :4)") << QByteArray("abcdef")
        << QStringList{QStringLiteral("PLD:A 0 abcd"), QStringLiteral("PLD:B 0 ef")} << qint64(8);
}

void ItemCommandsTest::tvAppendCutsParts()
{
    QFETCH(QByteArray, partList);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, parts);
    QFETCH(qint64, size);

    const qint64 id = m_res.tvAppend(m_collection, partList, data, "(\\MimeType[text/calendar])");
    QVERIFY(id > 0);
    QSqlQuery query(m_db);
    QVERIFY(query.exec(
        QStringLiteral("SELECT name, version, data FROM PartTable WHERE pimItemId = %1 ORDER BY name").arg(id)));
    QStringList stored;
    while (query.next())
        stored.append(query.value(0).toString() + ' ' + query.value(1).toString() + ' ' + query.value(2).toString());
    QCOMPARE(stored, parts);
    QCOMPARE(value(QStringLiteral("SELECT size FROM PimItemTable WHERE id = %1").arg(id)).toLongLong(), size);
}

void ItemCommandsTest::failuresKeepStreamUsable_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("literal"); // sent when the server asks for it
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("APPEND to no collection, after the whole payload")
        << QByteArray("APPEND 999999 5 ") << QByteArray("Hello") << QByteArray("NO Unknown collection.");
    QTest::newRow("X-TVAPPEND to no collection path")
        << QByteArray("X-TVAPPEND \"No/Such\" 5 () (PLD:RFC822 :5) ") << QByteArray("Hello")
        << QByteArray("NO Unknown collection.");
    QTest::newRow("size is not a number") << QByteArray("APPEND INBOX size ") << QByteArray()
                                          << QByteArray("NO ImapParserException: Unable to parse number");
    QTest::newRow("STORE without modification list")
        << QByteArray("UID STORE 1 FOO") << QByteArray() << QByteArray("NO No modification list provided in STORE command");
    QTest::newRow("STORE of no item") << QByteArray("UID STORE 999999 (FLAGS (a))") << QByteArray()
                                      << QByteArray("NO No items found");
    QTest::newRow("STORE with an empty modification word")
        << QByteArray("UID STORE 1 (\"\" x)") << QByteArray() << QByteArray("NO Syntax error");
    QTest::newRow("STORE moving an item") << QByteArray("UID STORE 1 (COLLECTION 5)") << QByteArray()
                                          << QByteArray("NO Item moving via STORE is deprecated, update your Talvori client");
    QTest::newRow("STORE of a single-item modification on two items")
        << QByteArray("UID STORE 1:2 (REMOTEID \"x\")") << QByteArray()
        << QByteArray("NO This Modification can only be applied to a single item");
    // The failure comes before the server asks for the literal: the client never sends it.
    QTest::newRow("STORE of a part on two items")
        << QByteArray("UID STORE 1:2 (PLD:RFC822 ") << QByteArray()
        << QByteArray("NO This Modification can only be applied to a single item");
    QTest::newRow("REMOVE of no item") << QByteArray("UID REMOVE 999999") << QByteArray()
                                       << QByteArray("NO No items found");
    QTest::newRow("REMOVE by remote identifier without context")
        << QByteArray("RID REMOVE a") << QByteArray()
        << QByteArray("NO Operations based on remote identifiers require a resource or collection context");
    QTest::newRow("COPY of no item") << QByteArray("COPY , " + m_col) << QByteArray()
                                     << QByteArray("NO No items specified");
    QTest::newRow("COPY to no collection") << QByteArray("COPY 1 999999") << QByteArray()
                                           << QByteArray("NO No valid target specified");
    QTest::newRow("COPY to no collection path") << QByteArray("COPY 1 \"No/Such\"") << QByteArray()
                                                << QByteArray("NO No valid target specified");
    QTest::newRow("MOVE to the root") << QByteArray("UID MOVE 1 0") << QByteArray()
                                      << QByteArray("NO The root collection cannot hold items");
    QTest::newRow("MOVE to no collection") << QByteArray("UID MOVE 1 999999") << QByteArray()
                                           << QByteArray("NO No collection found");
    QTest::newRow("MOVE of no item") << QByteArray("UID MOVE 999999 " + m_col) << QByteArray()
                                     << QByteArray("NO No items found");
    QTest::newRow("MOVE of no item set") << QByteArray("UID MOVE , " + m_col) << QByteArray()
                                         << QByteArray("NO Empty uid set specified");
    QTest::newRow("MOVE by remote identifier without context")
        << QByteArray("RID MOVE a inbox") << QByteArray()
        << QByteArray("NO Operations based on remote identifiers require a resource or collection context");
    QTest::newRow("LINK to the root") << QByteArray("UID LINK 0 UID 1") << QByteArray()
                                      << QByteArray("NO The root collection cannot hold items");
    QTest::newRow("UNLINK from the root") << QByteArray("UID UNLINK 0 UID 1") << QByteArray()
                                          << QByteArray("NO The root collection cannot hold items");
    QTest::newRow("LINK without items") << QByteArray("UID LINK " + m_col + " UID ,") << QByteArray()
                                        << QByteArray("NO Empty uid set specified");
    QTest::newRow("LINK to no collection") << QByteArray("UID LINK 999999 UID 1") << QByteArray()
                                           << QByteArray("NO No collection found");
}

void ItemCommandsTest::failuresKeepStreamUsable()
{
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, literal);
    QFETCH(QByteArray, answer);

    QVERIFY(m_res.tvAppend(m_collection, "(PLD:RFC822 :1)", "a") > 0);
    QVERIFY(m_res.tvAppend(m_collection, "(PLD:RFC822 :1)", "b") > 0);
    const int items = itemCount();
    const QByteArray tag = m_res.nextTag();
    // A prefix ending in a blank is followed by a literal.
    const QList<QByteArray> lines = prefix.endsWith(' ')
        ? m_res.runLiteral(tag, prefix, literal.isEmpty() ? QByteArray("Hello") : literal,
                           prefix.startsWith("UID STORE") ? ")" : "")
        : m_res.command(tag, prefix);
    QCOMPARE(lines.value(lines.size() - 1), tag + ' ' + answer);
    QCOMPARE(itemCount(), items);
    QCOMPARE(m_res.tagged("CAPABILITY"), QByteArray("OK CAPABILITY completed"));
}

void ItemCommandsTest::clientLeavingMidLiteralLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("needsItem");

    QTest::newRow("APPEND into the temporary file") << QByteArray("APPEND %1 1 ") << qint64(200000) << false;
    QTest::newRow("APPEND in memory") << QByteArray("APPEND %1 1 ") << qint64(3000) << false;
    QTest::newRow("STORE streaming a part") << QByteArray("UID STORE %2 (PLD:BIG ") << qint64(200000) << true;
}

void ItemCommandsTest::clientLeavingMidLiteralLeavesNothing()
{
    QFETCH(QByteArray, command);
    QFETCH(qint64, size);
    QFETCH(bool, needsItem);

    const qint64 item = needsItem ? m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "keep") : 0;
    const int items = itemCount();
    const int parts = partCount();
    const QStringList files = payloadFiles();

    TestClient leaving;
    QVERIFY(m_server.login(leaving, "leaver"));
    const QByteArray text = QByteArray(command).replace("%1", m_col).replace("%2", QByteArray::number(item));
    leaving.send("x1 " + text + '{' + QByteArray::number(size) + "}\r\n");
    QVERIFY(leaving.readLine().startsWith("+ "));
    leaving.send(binaryPayload(size / 2));
    leaving.socket()->flush();
    QTest::qWait(200);
    leaving.disconnectFromServer();

    // The server notices the departure; the others are served all along.
    QTRY_COMPARE_WITH_TIMEOUT(payloadFiles(), files, 10000);
    QCOMPARE(m_res.tagged("CAPABILITY"), QByteArray("OK CAPABILITY completed"));
    QCOMPARE(itemCount(), items);
    QCOMPARE(partCount(), parts);
    if (needsItem)
        QCOMPARE(partData(item, QStringLiteral("PLD:RFC822")), QByteArray("keep"));
}

void ItemCommandsTest::notificationsFollowCommits()
{
    // Changes that arrive within one interval are merged; settling after each keeps them apart.
    NotificationMessage::List all;
    const auto collect = [&] { all += m_listener->settleRecords(300); };
    m_listener->settle(200);
    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :5)", "hello", "(\\RemoteId[rid-1])");
    QVERIFY(id > 0);
    collect();
    QCOMPARE(m_res.tagged("UID STORE " + QByteArray::number(id) + " (+FLAGS.SILENT (\\Flagged))").right(15),
             QByteArray("STORE completed"));
    collect();
    QCOMPARE(m_res.tagged("UID STORE " + QByteArray::number(id) + " (PLD:RFC822 \"changed\")").right(15),
             QByteArray("STORE completed"));
    collect();
    QCOMPARE(all.size(), 3);
    for (const NotificationMessage &msg : std::as_const(all)) {
        QCOMPARE(msg.type(), int(NotificationMessage::Item));
        QCOMPARE(msg.sessionId(), QByteArray("res"));
        QCOMPARE(msg.uid(), id);
        QCOMPARE(msg.remoteId(), QStringLiteral("rid-1"));
        QCOMPARE(msg.parentCollection(), m_collection);
        QCOMPARE(msg.parentDestCollection(), qint64(-1));
        QCOMPARE(msg.mimeType(), QStringLiteral("message/rfc822"));
        QCOMPARE(msg.resource(), QByteArray("res"));
    }
    QCOMPARE(all.at(0).operation(), int(NotificationMessage::Add));
    QVERIFY(all.at(0).itemParts().isEmpty());
    QCOMPARE(all.at(1).operation(), int(NotificationMessage::Modify));
    QCOMPARE(all.at(1).itemParts(), QSet<QByteArray>{"FLAGS"});
    QCOMPARE(all.at(2).operation(), int(NotificationMessage::Modify));
    QCOMPARE(all.at(2).itemParts(), QSet<QByteArray>{"PLD:RFC822"});

    // Inside a client transaction nothing is announced, and after its rollback nothing ever is.
    const int items = itemCount();
    QCOMPARE(m_res.tagged("BEGIN"), QByteArray("OK Begin completed"));
    const qint64 gone = m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "gone");
    QVERIFY(gone > 0);
    QCOMPARE(m_res.tagged("UID STORE " + QByteArray::number(id) + " (FLAGS (\\Seen))").right(15),
             QByteArray("STORE completed"));
    QCOMPARE(m_res.tagged("ROLLBACK"), QByteArray("OK Rollback completed"));
    QVERIFY(m_listener->settle().isEmpty());
    QCOMPARE(itemCount(), items);
    QCOMPARE(flagsOf(id), QStringList{QStringLiteral("\\Flagged")});
}

void ItemCommandsTest::storeFlags_data()
{
    QTest::addColumn<QByteArray>("before"); // flags of the last item before the STORE
    QTest::addColumn<QByteArray>("modification");
    QTest::addColumn<QStringList>("after"); // of every item
    QTest::addColumn<bool>("silent");

    QTest::newRow("add, silent") << QByteArray() << QByteArray("+FLAGS.SILENT (\\Seen)") << QStringList{"\\Seen"}
                                 << true;
    QTest::newRow("add, with flag lines") << QByteArray() << QByteArray("+FLAGS (\\Seen $A)")
                                          << QStringList{"$A", "\\Seen"} << false;
    QTest::newRow("replace") << QByteArray("\\Old") << QByteArray("FLAGS ($B)") << QStringList{"$B"} << false;
    QTest::newRow("delete") << QByteArray("$C") << QByteArray("-FLAGS ($C $Unknown)") << QStringList() << false;
    // The last item already has the flag: the earlier items' new flags must still be kept.
    QTest::newRow("add, last item already has it")
        << QByteArray("\\Seen") << QByteArray("+FLAGS.SILENT (\\Seen)") << QStringList{"\\Seen"} << true;
    QTest::newRow("replace, last item already has them")
        << QByteArray("$D") << QByteArray("FLAGS.SILENT ($D)") << QStringList{"$D"} << true;
}

void ItemCommandsTest::storeFlags()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, modification);
    QFETCH(QStringList, after);
    QFETCH(bool, silent);

    const QList<qint64> ids = threeItems(m_res);
    const QByteArray set = QByteArray::number(ids.first()) + ':' + QByteArray::number(ids.last());
    if (!before.isEmpty()) {
        QVERIFY(m_res.tagged("UID STORE " + QByteArray::number(ids.last()) + " (FLAGS (" + before + "))")
                    .endsWith("STORE completed"));
    }

    const QByteArray tag = m_res.nextTag();
    const QList<QByteArray> lines = m_res.command(tag, "UID STORE " + set + " (" + modification + ")");
    QVERIFY2(lines.last().startsWith(tag + " OK DATETIME \"") && lines.last().endsWith("\" STORE completed"),
             lines.last().constData());
    if (silent) {
        QCOMPARE(lines.size(), 1);
    } else {
        QCOMPARE(lines.size(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(lines.at(i).left(lines.at(i).indexOf(" FETCH")), "* " + QByteArray::number(ids.at(i)));
            QVERIFY2(lines.at(i).endsWith("))"), lines.at(i).constData());
        }
    }
    for (qint64 id : ids) {
        QCOMPARE(flagsOf(id), after);
        QCOMPARE(value(QStringLiteral("SELECT rev FROM PimItemTable WHERE id = %1").arg(id)).toInt(),
                 before.isEmpty() || id != ids.last() ? 1 : 2);
    }
}

void ItemCommandsTest::storeOnManyItemsNotifiesAsItemByItem_data()
{
    QTest::addColumn<QByteArray>("modification");
    QTest::addColumn<bool>("presetChanges"); // whether the items that have $Many already change

    QTest::newRow("add") << QByteArray("+FLAGS.SILENT ($Many)") << false;
    QTest::newRow("replace") << QByteArray("FLAGS.SILENT ($Many)") << false;
    QTest::newRow("remove") << QByteArray("-FLAGS.SILENT ($Many)") << true;
}

void ItemCommandsTest::storeOnManyItemsNotifiesAsItemByItem()
{
    QFETCH(QByteArray, modification);
    QFETCH(bool, presetChanges);

    // 10,000 items written straight into the database, every fourth with $Many already, and
    // one item STOREd on its own, whose record every item's must match.
    const qint64 collection =
        m_res.create("\"Many " + QByteArray(QTest::currentDataTag()) + "\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY2(collection > 0, m_res.lastFailure().constData());
    const qint64 reference = m_res.tvAppend(collection, "(PLD:RFC822 :4)", "body", "(\\RemoteId[ref])");
    QVERIFY(reference > 0);
    m_listener->settle(200);
    QVERIFY(m_res.tagged("UID STORE " + QByteArray::number(reference) + " (+FLAGS.SILENT ($Many))")
                .endsWith("STORE completed"));
    NotificationMessage::List alone;
    for (const NotificationMessage::List &batch : m_listener->settle(300))
        alone += batch;
    QCOMPARE(alone.size(), 1);
    const qint64 mimeType = value(QStringLiteral("SELECT mimeTypeId FROM PimItemTable WHERE id = %1").arg(reference))
                                .toLongLong();
    const qint64 flag = value(QStringLiteral("SELECT id FROM FlagTable WHERE name = '$Many'")).toLongLong();
    QVERIFY(mimeType > 0 && flag > 0);

    const int count = 10000;
    QVERIFY(m_db.transaction());
    QSqlQuery query(m_db);
    for (int first = 0; first < count; first += 500) {
        QStringList rows;
        for (int i = first; i < first + 500; ++i)
            rows.append(QStringLiteral("(0, 'm%1', %2, %3, false, 4)").arg(i).arg(collection).arg(mimeType));
        QVERIFY2(query.exec(QStringLiteral("INSERT INTO PimItemTable (rev, remoteId, collectionId, mimeTypeId, dirty, size) "
                                           "VALUES ") + rows.join(QLatin1Char(','))),
                 qPrintable(query.lastError().text()));
    }
    QList<qint64> ids;
    QVERIFY(query.exec(QStringLiteral("SELECT id FROM PimItemTable WHERE collectionId = %1 AND id <> %2 ORDER BY id")
                           .arg(collection)
                           .arg(reference)));
    while (query.next())
        ids.append(query.value(0).toLongLong());
    QCOMPARE(ids.size(), count);
    QSet<qint64> preset;
    QStringList relations;
    for (int i = 0; i < count; i += 4) {
        preset.insert(ids.at(i));
        relations.append(QStringLiteral("(%1, %2)").arg(ids.at(i)).arg(flag));
    }
    QVERIFY(query.exec(QStringLiteral("INSERT INTO PimItemFlagRelation (PimItem_id, Flag_id) VALUES ")
                       + relations.join(QLatin1Char(','))));
    query.finish();
    QVERIFY(m_db.commit());

    QVERIFY(m_res.tagged("UID STORE " + QByteArray::number(ids.first()) + ':' + QByteArray::number(ids.last()) + " ("
                         + modification + ')')
                .endsWith("STORE completed"));
    NotificationMessage::List all;
    QElapsedTimer waited;
    waited.start();
    while (all.size() < count && waited.elapsed() < 30000) {
        for (const NotificationMessage::List &batch : m_listener->settle(100))
            all += batch;
    }
    for (const NotificationMessage::List &batch : m_listener->settle(300))
        all += batch;

    // Item by item, STORE recorded the items whose flags it changed as it went, then every item
    // with the command's changes: one record per item, those changed first.
    QCOMPARE(all.size(), count);
    QList<qint64> changed;
    QList<qint64> unchanged;
    QSet<qint64> seen;
    for (const NotificationMessage &msg : std::as_const(all)) {
        QVERIFY(!seen.contains(msg.uid()));
        seen.insert(msg.uid());
        NotificationMessage expected = alone.first();
        expected.setUid(msg.uid());
        expected.setRemoteId(QStringLiteral("m%1").arg(ids.indexOf(msg.uid())));
        expected.setParentCollection(collection);
        QCOMPARE(msg, expected);
        (preset.contains(msg.uid()) && !presetChanges ? unchanged : changed).append(msg.uid());
    }
    const QList<qint64> order = changed + unchanged;
    QList<qint64> received;
    for (const NotificationMessage &msg : std::as_const(all))
        received.append(msg.uid());
    QCOMPARE(received, order);
    QCOMPARE(changed.size(), presetChanges ? count : count - preset.size());
}

void ItemCommandsTest::storeRevisionCheck()
{
    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "body");
    const QByteArray uid = QByteArray::number(id);
    QVERIFY(m_res.tagged("UID STORE " + uid + " REV 0 (+FLAGS (\\Seen))").endsWith("STORE completed"));
    QCOMPARE(value(QStringLiteral("SELECT rev FROM PimItemTable WHERE id = %1").arg(id)).toInt(), 1);
    // The client saw revision 0, but the item has moved on.
    QCOMPARE(m_res.tagged("UID STORE " + uid + " REV 0 (+FLAGS ($Late))"),
             QByteArray("NO Item was modified elsewhere, aborting STORE."));
    QCOMPARE(flagsOf(id), QStringList{"\\Seen"});
    QCOMPARE(value(QStringLiteral("SELECT rev FROM PimItemTable WHERE id = %1").arg(id)).toInt(), 1);
    // Option words other than REV and SIZE are skipped.
    QVERIFY(m_res.tagged("UID STORE " + uid + " FOO REV 1 (+FLAGS ($Now))").endsWith("STORE completed"));
    QCOMPARE(value(QStringLiteral("SELECT rev FROM PimItemTable WHERE id = %1").arg(id)).toInt(), 2);
}

void ItemCommandsTest::storeRemoteIdentifiersAndDirtyMark()
{
    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "body", "(\\RemoteId[r1] \\RemoteRevision[v1])");
    const QByteArray uid = QByteArray::number(id);
    const auto dirty = [&] {
        return value(QStringLiteral("SELECT dirty FROM PimItemTable WHERE id = %1").arg(id)).toBool();
    };
    QVERIFY(!dirty());

    TestClient client;
    QVERIFY(m_server.login(client, "someclient"));
    // The same identifier is no change and allowed to anyone; another one only to the owner.
    QVERIFY(client.tagged("UID STORE " + uid + " (REMOTEID \"r1\" +FLAGS ($X))").endsWith("STORE completed"));
    QCOMPARE(client.tagged("UID STORE " + uid + " (REMOTEID \"r2\")"),
             QByteArray("NO Only resources can modify remote identifiers"));
    QCOMPARE(client.tagged("UID STORE " + uid + " (REMOTEREVISION \"v2\")"),
             QByteArray("NO Only resources can modify remote revisions"));
    // A change by someone other than the owner has to reach the resource.
    QVERIFY(dirty());

    QVERIFY(m_res.tagged("UID STORE " + uid + " (REMOTEID \"r2\" REMOTEREVISION \"v2\" DIRTY \"\")")
                .endsWith("STORE completed"));
    QCOMPARE(row(QStringLiteral("SELECT remoteId, remoteRevision FROM PimItemTable WHERE id = %1").arg(id)),
             (QStringList{QStringLiteral("r2"), QStringLiteral("v2")}));
    QVERIFY(!dirty());
}

void ItemCommandsTest::storeWithoutChangeWritesNothing_data()
{
    QTest::addColumn<QByteArray>("modification");

    QTest::newRow("DIRTY only") << QByteArray("DIRTY \"x\"");
    QTest::newRow("INVALIDATECACHE only") << QByteArray("INVALIDATECACHE");
    QTest::newRow("PARTS without prefix") << QByteArray("PARTS (PLD:RFC822)");
    QTest::newRow("same part content") << QByteArray("PLD:RFC822 \"body\"");
    QTest::newRow("new part, empty") << QByteArray("PLD:NEW \"\"");
    QTest::newRow("flags it already has") << QByteArray("+FLAGS ($Have)");
}

void ItemCommandsTest::storeWithoutChangeWritesNothing()
{
    QFETCH(QByteArray, modification);

    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "body", "($Have)");
    const QString state = QStringLiteral("SELECT rev, dirty, datetime FROM PimItemTable WHERE id = %1").arg(id);
    const QStringList before = row(state);
    const QList<QByteArray> lines = m_res.run("UID STORE " + QByteArray::number(id) + " (" + modification + ")");
    QCOMPARE(row(state), before);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM PartTable WHERE pimItemId = %1").arg(id)).toInt(), 1);

    // The answer carries the item's stored date-time.
    QSqlQuery query(m_db);
    QVERIFY(query.exec(QStringLiteral("SELECT datetime FROM PimItemTable WHERE id = %1").arg(id)) && query.next());
    QDateTime stored = query.value(0).toDateTime();
    stored.setTimeSpec(Qt::UTC);
    const QByteArray date = QLocale::c().toString(stored, QString::fromLatin1(StoredDateFormat)).toLatin1();
    QVERIFY2(lines.last().endsWith("OK DATETIME \"" + date + "\" STORE completed"), lines.last().constData());
}

void ItemCommandsTest::storeParts()
{
    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :4 PLD:HEAD :2 ATR:A :1)", "bodyhdx");
    const QByteArray uid = QByteArray::number(id);

    // A versioned name sets the version on the part, whose name stays plain.
    QVERIFY(m_res.tagged("UID STORE " + uid + " (PLD:RFC822[3] \"new body\")").endsWith("STORE completed"));
    QCOMPARE(partData(id, QStringLiteral("PLD:RFC822")), QByteArray("new body"));
    QCOMPARE(value(QStringLiteral("SELECT version FROM PartTable WHERE pimItemId = %1 AND name = 'PLD:RFC822'").arg(id))
                 .toInt(),
             3);
    QCOMPARE(value(QStringLiteral("SELECT size FROM PimItemTable WHERE id = %1").arg(id)).toLongLong(), qint64(8));

    m_listener->settle(200);
    QVERIFY(m_res.tagged("UID STORE " + uid + " (-PARTS (PLD:HEAD ATR:A) SIZE 100)").endsWith("STORE completed"));
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM PartTable WHERE pimItemId = %1").arg(id)).toInt(), 1);
    QCOMPARE(value(QStringLiteral("SELECT size FROM PimItemTable WHERE id = %1").arg(id)).toLongLong(), qint64(100));
    const QList<NotificationMessage::List> batches = m_listener->settle();
    QCOMPARE(batches.size(), 1);
    QCOMPARE(batches.first().first().itemParts(), (QSet<QByteArray>{"PLD:HEAD", "ATR:A", "SIZE"}));

    // A new part is created; an inline part grown past the threshold moves into a file.
    const QByteArray big = binaryPayload(5000);
    const QList<QByteArray> lines = m_res.runLiteral(m_res.nextTag(), "UID STORE " + uid + " (ATR:NEW ", big, ")");
    QVERIFY2(lines.last().endsWith("STORE completed"), lines.last().constData());
    QCOMPARE(partData(id, QStringLiteral("ATR:NEW")), big);
    QVERIFY(value(QStringLiteral("SELECT external FROM PartTable WHERE pimItemId = %1 AND name = 'ATR:NEW'").arg(id))
                .toBool());
}

void ItemCommandsTest::storeStreamsLargePartIntoFile()
{
    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "body");
    const QByteArray uid = QByteArray::number(id);
    const QStringList filesBefore = payloadFiles();

    for (qint64 size : {qint64(3 << 20), qint64(5 << 20) + 7}) {
        const QByteArray payload = binaryPayload(size);
        QBuffer source;
        source.setData(payload);
        source.open(QIODevice::ReadOnly);
        const QList<QByteArray> lines =
            m_res.runLiteral(m_res.nextTag(), "UID STORE " + uid + " (PLD:RFC822 ", &source, size, ")");
        QVERIFY2(lines.last().endsWith("STORE completed"), lines.last().constData());
        QVERIFY(partData(id, QStringLiteral("PLD:RFC822")) == payload);
        QCOMPARE(value(QStringLiteral("SELECT datasize FROM PartTable WHERE pimItemId = %1").arg(id)).toLongLong(), size);
        QCOMPARE(value(QStringLiteral("SELECT size FROM PimItemTable WHERE id = %1").arg(id)).toLongLong(), size);
        // A rewrite leaves exactly one file for the part: the old revision is gone.
        QCOMPARE(payloadFiles().size(), filesBefore.size() + 1);
    }
}

void ItemCommandsTest::payloadComesBackByteIdentical_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("file"); // empty: a made-up binary payload

    QStringList files;
    const QDir mail(qEnvironmentVariable("TALVORI_SHARED_DIR") + QStringLiteral("/testdata/mail"));
    if (mail.exists())
        files = mail.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    else
        qInfo("No shared test data (%s): the real messages are left out.", qPrintable(mail.path()));
    files.prepend(QString());
    for (const QByteArray &command : {QByteArray("APPEND"), QByteArray("X-TVAPPEND")}) {
        for (const QString &file : std::as_const(files)) {
            const QString name = file.isEmpty() ? QStringLiteral("binary") : file;
            QTest::newRow(qPrintable(QString::fromLatin1(command) + ' ' + name)) << command
                                                                                  << (file.isEmpty() ? QString() : mail.filePath(file));
        }
    }
}

void ItemCommandsTest::payloadComesBackByteIdentical()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, file);

    QByteArray message = binaryPayload(9000);
    if (!file.isEmpty()) {
        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        message = source.readAll();
    }
    const QByteArray size = QByteArray::number(message.size());
    const QByteArray tag = m_res.nextTag();
    const QByteArray arguments = command == "APPEND" ? QByteArray() : "() (PLD:RFC822 :" + size + ") ";
    const QList<QByteArray> appended =
        m_res.runLiteral(tag, command + ' ' + m_col + ' ' + size + ' ' + arguments, message);
    QCOMPARE(appended.value(1), tag + " OK Append completed");
    const QByteArray uid = appended.first().split(' ').value(2).replace(']', "");

    // Once with the content in the line, once with the path of the payload file when it has one.
    static const QRegularExpression entry(QStringLiteral("PLD:RFC822( \\[FILE\\] )? \\{(\\d+)\\}\r\n"));
    for (const QByteArray &options : {QByteArray("FULLPAYLOAD"), QByteArray("EXTERNALPAYLOAD FULLPAYLOAD")}) {
        const QList<QByteArray> lines = m_res.run("UID FETCH " + uid + ' ' + options);
        QCOMPARE(lines.size(), 2);
        const QString line = QString::fromLatin1(lines.first());
        const QRegularExpressionMatch match = entry.match(line);
        QVERIFY2(match.hasMatch(), lines.first().left(200).constData());
        QByteArray value = lines.first().mid(match.capturedEnd(), match.captured(2).toInt());
        const bool isFile = match.capturedLength(1) > 0;
        QCOMPARE(isFile, options.startsWith("EXTERNAL") && message.size() > 4096);
        if (isFile) {
            QFile payload(QString::fromUtf8(value));
            QVERIFY(payload.open(QIODevice::ReadOnly));
            value = payload.readAll();
        }
        QVERIFY2(value == message, qPrintable(QStringLiteral("%1 bytes back, %2 sent").arg(value.size()).arg(message.size())));
    }
}


void ItemCommandsTest::removeDeletesItems()
{
    const QList<qint64> ids = threeItems(m_res);
    const qint64 large = m_res.tvAppend(m_collection, "(PLD:RFC822 :5000)", QByteArray(5000, 'x'), "(\\RemoteId[large])");
    QVERIFY(large > 0);
    const QStringList files = payloadFiles();
    QVERIFY(!files.isEmpty());
    const int items = itemCount();
    const int parts = partCount();
    m_listener->settle(200);

    // By uid in any collection, and by remote identifier within the resource.
    QCOMPARE(m_res.tagged("UID REMOVE " + QByteArray::number(ids.at(0)) + ',' + QByteArray::number(ids.at(2))),
             QByteArray("OK REMOVE complete"));
    QCOMPARE(m_res.tagged("RESSELECT res"), QByteArray("OK res selected"));
    QCOMPARE(m_res.tagged("RID REMOVE large"), QByteArray("OK REMOVE complete"));
    QCOMPARE(m_res.tagged("RESSELECT \"\""), QByteArray("OK Resource deselected"));

    QCOMPARE(itemCount(), items - 3);
    QCOMPARE(partCount(), parts - 3);
    QCOMPARE(partData(ids.at(1), QStringLiteral("PLD:RFC822")), QByteArray("body"));
    QCOMPARE(partData(ids.at(0), QStringLiteral("PLD:RFC822")), QByteArray("<no part>"));
    QCOMPARE(payloadFiles().size(), files.size() - 1);
    const NotificationMessage::List removed = m_listener->settleRecords(300);
    QCOMPARE(removed.size(), 3);
    for (const NotificationMessage &msg : std::as_const(removed))
        QCOMPARE(msg.operation(), int(NotificationMessage::Remove));
    QCOMPARE(removed.last().remoteId(), QStringLiteral("large"));
}

void ItemCommandsTest::copyGivesEachCopyItsOwnPayload_data()
{
    QTest::addColumn<QByteArray>("target"); // as the command names it
    QTest::addColumn<qint64>("targetId");
    QTest::addColumn<QByteArray>("resource");

    QTest::newRow("same resource, by path") << QByteArray("\"Archive\"") << m_archive << QByteArray("res");
    QTest::newRow("another resource, by id") << QByteArray::number(m_foreign) << m_foreign << QByteArray("res2");
}

void ItemCommandsTest::copyGivesEachCopyItsOwnPayload()
{
    QFETCH(QByteArray, target);
    QFETCH(qint64, targetId);
    QFETCH(QByteArray, resource);

    // A payload in a file, one in the row, and the mark of an item the preprocessors have not seen.
    const QByteArray big = binaryPayload(6000);
    const qint64 source = m_res.tvAppend(m_collection, "(PLD:RFC822[2] :6000 PLD:HEAD :4 ATR:HIDDEN :0)", big + "head",
                                         "(\\RemoteId[src] \\RemoteRevision[v3] \\Seen $Label)");
    QVERIFY(source > 0);
    const QByteArray uid = QByteArray::number(source);
    QVERIFY(m_res.tagged("UID STORE " + uid + " (+FLAGS.SILENT ($Other))").endsWith("STORE completed"));
    const QStringList sourceState = row(
        QStringLiteral("SELECT rev, remoteId, dirty, collectionId FROM PimItemTable WHERE id = %1").arg(source));
    const QStringList files = payloadFiles();
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    m_listener->settle(200);

    QCOMPARE(m_res.tagged("COPY " + uid + ' ' + target), QByteArray("OK COPY complete"));
    const qint64 copy = value(QStringLiteral("SELECT MAX(id) FROM PimItemTable")).toLongLong();
    QVERIFY(copy > source);

    QSqlQuery item(m_db);
    QVERIFY(item.exec(QStringLiteral("SELECT collectionId, rev, remoteId, remoteRevision, dirty, size, mimeTypeId, "
                                     "datetime FROM PimItemTable WHERE id = %1")
                          .arg(copy)));
    QVERIFY(item.next());
    QCOMPARE(item.value(0).toLongLong(), targetId);
    QCOMPARE(item.value(1).toInt(), 0);
    QCOMPARE(item.value(2).toString(), QString());
    QCOMPARE(item.value(3).toString(), QString());
    QVERIFY(item.value(4).toBool());
    QCOMPARE(item.value(5).toLongLong(), qint64(6004));
    QCOMPARE(item.value(6), value(QStringLiteral("SELECT mimeTypeId FROM PimItemTable WHERE id = %1").arg(source)));
    QDateTime dateTime = item.value(7).toDateTime();
    dateTime.setTimeSpec(Qt::UTC);
    QVERIFY2(dateTime >= before && dateTime <= QDateTime::currentDateTimeUtc().addSecs(1), qPrintable(dateTime.toString()));

    // The copy's own parts, the hidden mark left out; its file is a second one with the same bytes.
    QSqlQuery parts(m_db);
    QVERIFY(parts.exec(
        QStringLiteral("SELECT name, version, external FROM PartTable WHERE pimItemId = %1 ORDER BY name").arg(copy)));
    QStringList stored;
    while (parts.next())
        stored.append(parts.value(0).toString() + ' ' + parts.value(1).toString() + ' '
                      + (parts.value(2).toBool() ? "file" : "row"));
    QCOMPARE(stored, (QStringList{QStringLiteral("PLD:HEAD 0 row"), QStringLiteral("PLD:RFC822 2 file")}));
    QVERIFY(partData(copy, QStringLiteral("PLD:RFC822")) == big);
    QCOMPARE(partData(copy, QStringLiteral("PLD:HEAD")), QByteArray("head"));
    QCOMPARE(payloadFiles().size(), files.size() + 1);
    QVERIFY(value(QStringLiteral("SELECT data FROM PartTable WHERE pimItemId = %1 AND name = 'PLD:RFC822'").arg(copy))
            != value(QStringLiteral("SELECT data FROM PartTable WHERE pimItemId = %1 AND name = 'PLD:RFC822'").arg(source)));
    QCOMPARE(flagsOf(copy), flagsOf(source));
    QCOMPARE(flagsOf(copy), (QStringList{QStringLiteral("$Label"), QStringLiteral("$Other"), QStringLiteral("\\Seen")}));

    // The source is as it was.
    QCOMPARE(row(QStringLiteral("SELECT rev, remoteId, dirty, collectionId FROM PimItemTable WHERE id = %1").arg(source)),
             sourceState);
    QVERIFY(partData(source, QStringLiteral("ATR:HIDDEN")) != "<no part>");

    // One added record for the copy; the flags come with it.
    const NotificationMessage::List all = m_listener->waitForRecords(NotificationMessage::Add, {copy}, 1);
    QCOMPARE(all.size(), 1);
    QCOMPARE(all.first().operation(), int(NotificationMessage::Add));
    QCOMPARE(all.first().uid(), copy);
    QCOMPARE(all.first().parentCollection(), targetId);
    QCOMPARE(all.first().resource(), resource);
    QCOMPARE(all.first().remoteId(), QString());
}

void ItemCommandsTest::copyFailingMidwayLeavesNothing()
{
    QList<qint64> ids;
    for (int i = 0; i < 3; ++i)
        ids.append(m_res.tvAppend(m_collection, "(PLD:RFC822 :5000)", binaryPayload(5000)));
    QVERIFY(!ids.contains(-1));
    // The second source's payload file is gone: the first copy is made, then the second fails.
    QFile lost(QString::fromUtf8(
        value(QStringLiteral("SELECT data FROM PartTable WHERE pimItemId = %1").arg(ids.at(1))).toByteArray()));
    QVERIFY(lost.remove());
    const int items = itemCount();
    const int parts = partCount();
    const QStringList files = payloadFiles();
    m_listener->settle(200);

    QCOMPARE(m_res.tagged("COPY " + QByteArray::number(ids.first()) + ':' + QByteArray::number(ids.last()) + ' '
                          + QByteArray::number(m_archive)),
             QByteArray("NO Unable to copy item"));
    QCOMPARE(itemCount(), items);
    QCOMPARE(partCount(), parts);
    QCOMPARE(payloadFiles(), files);
    const qint64 archive = m_archive;
    QVERIFY(m_listener
                ->waitForRecords([archive](const NotificationMessage &msg) { return msg.parentCollection() == archive; }, 0)
                .isEmpty());
    QCOMPARE(m_res.tagged("UID REMOVE " + QByteArray::number(ids.first()) + ':' + QByteArray::number(ids.last())),
             QByteArray("OK REMOVE complete"));
}

void ItemCommandsTest::copiesKeepTheirOwnSourcesContent()
{
    // Sources with gaps between their ids and from two collections, each with payload and flags
    // of its own; some with a second part, one in a file.
    QList<qint64> sources;
    for (int i = 0; i < 7; ++i) {
        const QByteArray body = "body " + QByteArray::number(i) + (i == 4 ? binaryPayload(6000) : QByteArray());
        const QByteArray layout = "(PLD:RFC822 :" + QByteArray::number(body.size()) + (i % 2 ? " PLD:HEAD :1)" : ")");
        const qint64 collection = i == 5 ? m_archive : m_collection;
        sources.append(m_res.tvAppend(collection, layout, body + (i % 2 ? "h" : ""), "($Copy" + QByteArray::number(i) + ")"));
    }
    QVERIFY(!sources.contains(-1));
    QCOMPARE(m_res.tagged("UID REMOVE " + QByteArray::number(sources.takeAt(2))), QByteArray("OK REMOVE complete"));
    QCOMPARE(m_res.tagged("UID REMOVE " + QByteArray::number(sources.takeAt(4))), QByteArray("OK REMOVE complete"));
    QByteArrayList set;
    for (qint64 id : std::as_const(sources))
        set.append(QByteArray::number(id));
    const qint64 highest = value(QStringLiteral("SELECT MAX(id) FROM PimItemTable")).toLongLong();

    QCOMPARE(m_res.tagged("COPY " + set.join(',') + ' ' + QByteArray::number(m_foreign)), QByteArray("OK COPY complete"));
    QList<qint64> copies;
    for (const QString &id : SqlInspection::rows(
             m_db, QStringLiteral("SELECT id FROM PimItemTable WHERE id > %1 ORDER BY id").arg(highest)))
        copies.append(id.toLongLong());
    QCOMPARE(copies.size(), sources.size());
    const QString parts = QStringLiteral("SELECT name, datasize, version FROM PartTable WHERE pimItemId = %1 ORDER BY name");
    for (qsizetype i = 0; i < sources.size(); ++i) {
        QCOMPARE(value(QStringLiteral("SELECT collectionId FROM PimItemTable WHERE id = %1").arg(copies.at(i))).toLongLong(),
                 m_foreign);
        QCOMPARE(SqlInspection::rows(m_db, parts.arg(copies.at(i))), SqlInspection::rows(m_db, parts.arg(sources.at(i))));
        QCOMPARE(partData(copies.at(i), QStringLiteral("PLD:RFC822")), partData(sources.at(i), QStringLiteral("PLD:RFC822")));
        QCOMPARE(partData(copies.at(i), QStringLiteral("PLD:HEAD")), partData(sources.at(i), QStringLiteral("PLD:HEAD")));
        QCOMPARE(flagsOf(copies.at(i)), flagsOf(sources.at(i)));
    }
}

void ItemCommandsTest::moveKeepsOrClearsRemoteIdentifier_data()
{
    QTest::addColumn<QByteArray>("context"); // the resource selected first, if any
    QTest::addColumn<QByteArray>("command"); // %id, %rid: the item
    QTest::addColumn<qint64>("destination");
    QTest::addColumn<bool>("keepsRemoteId");
    QTest::addColumn<bool>("dirty");

    const QByteArray archive = QByteArray::number(m_archive);
    const QByteArray foreign = QByteArray::number(m_foreign);
    QTest::newRow("within the resource") << QByteArray() << "UID MOVE %id " + archive << m_archive << true << true;
    // The destination's resource moving its own item knows of the move.
    QTest::newRow("within the resource, by remote identifiers")
        << QByteArray("res") << QByteArray("RID MOVE %rid archive") << m_archive << true << false;
    QTest::newRow("to another resource") << QByteArray() << "UID MOVE %id " + foreign << m_foreign << false << true;
    QTest::newRow("to another resource, by that resource")
        << QByteArray("res2") << "UID MOVE %id " + foreign << m_foreign << false << false;
}

void ItemCommandsTest::moveKeepsOrClearsRemoteIdentifier()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, command);
    QFETCH(qint64, destination);
    QFETCH(bool, keepsRemoteId);
    QFETCH(bool, dirty);

    const QByteArray rid = "mv" + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "body",
                                     "(\\RemoteId[" + rid + "] \\RemoteRevision[r1] \\Seen)");
    QVERIFY(id > 0);
    const QByteArray move = QByteArray(command).replace("%id", QByteArray::number(id)).replace("%rid", rid);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    m_listener->settle(200);

    if (!context.isEmpty())
        QCOMPARE(m_res.tagged("RESSELECT " + context), "OK " + context + " selected");
    QCOMPARE(m_res.tagged(move), QByteArray("OK MOVE complete"));
    // Nothing is left to move there.
    QCOMPARE(m_res.tagged(move), QByteArray("NO No items found"));
    QCOMPARE(m_res.tagged("RESSELECT \"\""), QByteArray("OK Resource deselected"));

    QSqlQuery item(m_db);
    QVERIFY(item.exec(QStringLiteral("SELECT collectionId, remoteId, remoteRevision, dirty, datetime FROM PimItemTable "
                                     "WHERE id = %1")
                          .arg(id)));
    QVERIFY(item.next());
    QCOMPARE(item.value(0).toLongLong(), destination);
    QCOMPARE(item.value(1).toString(), keepsRemoteId ? QString::fromLatin1(rid) : QString());
    QCOMPARE(item.value(2).toString(), keepsRemoteId ? QStringLiteral("r1") : QString());
    QCOMPARE(item.value(3).toBool(), dirty);
    QDateTime dateTime = item.value(4).toDateTime();
    dateTime.setTimeSpec(Qt::UTC);
    QVERIFY(dateTime >= before);
    QCOMPARE(partData(id, QStringLiteral("PLD:RFC822")), QByteArray("body"));
    QCOMPARE(flagsOf(id), QStringList{QStringLiteral("\\Seen")});

    // The record still carries the identifier the old resource knows the item by.
    const NotificationMessage::List all = m_listener->waitForRecords(NotificationMessage::Move, {id}, 1);
    QCOMPARE(all.size(), 1);
    const NotificationMessage &moved = all.first();
    QCOMPARE(moved.operation(), int(NotificationMessage::Move));
    QCOMPARE(moved.uid(), id);
    QCOMPARE(moved.remoteId(), QString::fromLatin1(rid));
    QCOMPARE(moved.parentCollection(), m_collection);
    QCOMPARE(moved.parentDestCollection(), destination);
    QCOMPARE(moved.resource(), QByteArray("res"));
    QCOMPARE(moved.itemParts(), QSet<QByteArray>{destination == m_foreign ? "res2" : "res"});
}

void ItemCommandsTest::linkAndUnlinkVirtualCollection()
{
    const QList<QByteArray> created = m_res.run("SEARCH_STORE \"links\" \"some query\"");
    QCOMPARE(created.size(), 2);
    ListingLine search;
    QVERIFY(search.parse(created.first()));
    const QByteArray col = QByteArray::number(search.id);
    const QList<qint64> ids = threeItems(m_res);
    const QByteArray first = QByteArray::number(ids.at(0));
    const QByteArray all = first + ':' + QByteArray::number(ids.at(2));
    const auto linked = [&] {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("SELECT PimItem_id FROM CollectionPimItemRelation WHERE Collection_id = %1 ORDER BY 1")
                       .arg(search.id));
        QList<qint64> result;
        while (query.next())
            result.append(query.value(0).toLongLong());
        return result;
    };
    const auto records = [&](NotificationMessage::Operation operation, int count) {
        return m_listener->waitForRecords(operation, ids, count);
    };
    m_listener->settle(200);

    QCOMPARE(m_res.tagged("UID LINK " + col + " UID " + first), QByteArray("OK LINK complete"));
    QCOMPARE(linked(), QList<qint64>{ids.at(0)});
    NotificationMessage::List seen = records(NotificationMessage::Link, 1);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().operation(), int(NotificationMessage::Link));
    QCOMPARE(seen.first().uid(), ids.at(0));
    QCOMPARE(seen.first().parentCollection(), search.id);

    // The first item is linked already and is neither linked nor announced again.
    QCOMPARE(m_res.tagged("UID LINK " + col + " UID " + all), QByteArray("OK LINK complete"));
    QCOMPARE(linked(), ids);
    seen = records(NotificationMessage::Link, 2);
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.at(0).uid(), ids.at(1));
    QCOMPARE(seen.at(1).uid(), ids.at(2));

    // The search collection lists what is linked to it.
    QCOMPARE(m_res.tagged("SELECT SILENT " + col), QByteArray("OK Completed"));
    int fetched = 0;
    QVERIFY(m_res.runStreaming("FETCH 1:* (UID)", [&fetched](QByteArrayView) { ++fetched; }));
    QCOMPARE(fetched, 3);
    QCOMPARE(m_res.tagged("SELECT SILENT 0"), QByteArray("OK Completed"));

    // UNLINK answers as LINK does; a link that is not there is skipped.
    QCOMPARE(m_res.tagged("UID UNLINK " + col + " UID " + first), QByteArray("OK LINK complete"));
    QCOMPARE(m_res.tagged("UID UNLINK " + col + " UID " + first), QByteArray("OK LINK complete"));
    QCOMPARE(linked(), ids.mid(1));
    seen = records(NotificationMessage::Unlink, 1);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().operation(), int(NotificationMessage::Unlink));
    QCOMPARE(seen.first().uid(), ids.at(0));

    // The items stay where they live.
    for (qint64 id : ids)
        QCOMPARE(value(QStringLiteral("SELECT collectionId FROM PimItemTable WHERE id = %1").arg(id)).toLongLong(),
                 m_collection);
}

void ItemCommandsTest::expungeRemovesFlaggedItemsEverywhere()
{
    // Without the flag there is nothing to look for. (The server has not looked the flag up
    // before: nothing earlier uses it.)
    QSqlQuery query(m_db);
    QVERIFY(query.exec(QStringLiteral("SELECT id, name FROM FlagTable")));
    qint64 flag = -1;
    while (query.next()) {
        if (query.value(1).toString() == QLatin1String("\\DELETED"))
            flag = query.value(0).toLongLong();
    }
    QVERIFY(query.exec(QStringLiteral("DELETE FROM FlagTable WHERE id = %1").arg(flag)));
    QCOMPARE(m_res.tagged("EXPUNGE"), QByteArray("BAD \\DELETED flag unknown"));
    // Text columns are binary on PostgreSQL.
    QVERIFY(query.prepare(QStringLiteral("INSERT INTO FlagTable (name) VALUES (?)")));
    query.addBindValue(m_db.driverName() == QLatin1String("QPSQL") ? QVariant(QByteArray("\\DELETED"))
                                                                    : QVariant(QStringLiteral("\\DELETED")));
    QVERIFY(query.exec());

    const qint64 kept = m_res.tvAppend(m_collection, "(PLD:RFC822 :4)", "kept", "(\\Seen)");
    const qint64 inbox = m_res.tvAppend(m_collection, "(PLD:RFC822 :5000)", binaryPayload(5000), "(\\DELETED \\Seen)");
    const qint64 elsewhere = m_res.tvAppend(m_archive, "(PLD:RFC822 :4)", "away");
    QVERIFY(kept > 0 && inbox > 0 && elsewhere > 0);
    QVERIFY(m_res.tagged("UID STORE " + QByteArray::number(elsewhere) + " (+FLAGS.SILENT (\\DELETED))")
                .endsWith("STORE completed"));
    const int items = itemCount();
    const QStringList files = payloadFiles();
    m_listener->settle(200);

    // Whatever is selected, flagged items of every collection go; each is named before the end.
    QCOMPARE(m_res.tagged("SELECT SILENT " + m_col), QByteArray("OK Completed"));
    const QByteArray tag = m_res.nextTag();
    const QList<QByteArray> lines = m_res.command(tag, "EXPUNGE");
    QCOMPARE(lines, (QList<QByteArray>{"* " + QByteArray::number(inbox) + " EXPUNGE",
                                       "* " + QByteArray::number(elsewhere) + " EXPUNGE", tag + " OK EXPUNGE completed"}));
    QCOMPARE(m_res.tagged("SELECT SILENT 0"), QByteArray("OK Completed"));
    QCOMPARE(itemCount(), items - 2);
    QCOMPARE(partData(kept, QStringLiteral("PLD:RFC822")), QByteArray("kept"));
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM PartTable WHERE pimItemId IN (%1, %2)").arg(inbox).arg(elsewhere))
                 .toInt(),
             0);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM PimItemFlagRelation WHERE PimItem_id IN (%1, %2)")
                       .arg(inbox)
                       .arg(elsewhere))
                 .toInt(),
             0);
    QCOMPARE(payloadFiles().size(), files.size() - 1);
    const NotificationMessage::List removed = m_listener->waitForRecords(NotificationMessage::Remove, {inbox, elsewhere}, 2);
    QCOMPARE(removed.size(), 2);
    for (const NotificationMessage &msg : std::as_const(removed))
        QCOMPARE(msg.operation(), int(NotificationMessage::Remove));

    // Nothing flagged: nothing to name.
    QCOMPARE(m_res.run("EXPUNGE").size(), 1);
}

void ItemCommandsTest::removalsDeleteFilesWithTheCommit_data()
{
    QTest::addColumn<QByteArray>("command"); // %1: the item

    QTest::newRow("REMOVE") << QByteArray("UID REMOVE %1");
    QTest::newRow("EXPUNGE") << QByteArray("EXPUNGE");
}

void ItemCommandsTest::removalsDeleteFilesWithTheCommit()
{
    QFETCH(QByteArray, command);

    const qint64 id = m_res.tvAppend(m_collection, "(PLD:RFC822 :5000)", binaryPayload(5000), "(\\DELETED)");
    QVERIFY(id > 0);
    const QString file =
        QString::fromUtf8(value(QStringLiteral("SELECT data FROM PartTable WHERE pimItemId = %1").arg(id)).toByteArray());
    const QByteArray remove = QByteArray(command).replace("%1", QByteArray::number(id));

    // Until the removal is committed its row may come back, and so the file stays.
    QCOMPARE(m_res.tagged("BEGIN"), QByteArray("OK Begin completed"));
    QVERIFY(m_res.runOk(remove));
    QVERIFY(QFile::exists(file));
    QCOMPARE(m_res.tagged("ROLLBACK"), QByteArray("OK Rollback completed"));
    QVERIFY(QFile::exists(file));
    QCOMPARE(partData(id, QStringLiteral("PLD:RFC822")), binaryPayload(5000));

    QCOMPARE(m_res.tagged("BEGIN"), QByteArray("OK Begin completed"));
    QVERIFY(m_res.runOk(remove));
    QVERIFY(QFile::exists(file));
    QCOMPARE(m_res.tagged("COMMIT"), QByteArray("OK Commit completed"));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM PimItemTable WHERE id = %1").arg(id)).toInt(), 0);
}

QTEST_GUILESS_MAIN(ItemCommandsTest)
#include "tst_itemcommands.moc"

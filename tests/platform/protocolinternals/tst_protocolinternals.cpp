// Sequence sets, the token helpers, the notification record and its bus form, and the base
// directories.

#include <imapparser.h>
#include <imapset.h>
#include <notificationmessage.h>
#include <pendingnotifications.h>
#include <xdgbasedirs.h>

#include <QDBusMetaType>
#include <QTemporaryDir>
#include <QTest>

class ProtocolInternalsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sequenceSet_data();
    void sequenceSet();
    void intervalSize();
    void parseString_data();
    void parseString();
    void parseList_data();
    void parseList();
    void parseNumber();
    void quoteRoundTrips();
    void splitVersionedKey_data();
    void splitVersionedKey();
    void appendAndCompress();
    void pendingNotificationsMergeAlike();
    void busSignature();
    void baseDirectoriesFollowTheEnvironment();
};

void ProtocolInternalsTest::sequenceSet_data()
{
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty") << QList<qint64>{} << QByteArray("");
    QTest::newRow("single") << QList<qint64>{7} << QByteArray("7");
    QTest::newRow("runs joined, unsorted, duplicates") << QList<qint64>{5, 1, 2, 3, 3, 9, 10} << QByteArray("1:3,5,9:10");
}

void ProtocolInternalsTest::sequenceSet()
{
    QFETCH(QList<qint64>, ids);
    QFETCH(QByteArray, expected);
    ImapSet set;
    set.add(ids);
    QCOMPARE(set.toImapSequenceSet(), expected);
    QCOMPARE(set.isEmpty(), ids.isEmpty());
}

void ProtocolInternalsTest::intervalSize()
{
    QCOMPARE(ImapInterval(3, 7).size(), 5);
    QCOMPARE(ImapInterval(0, 0).size(), 0);
    QVERIFY(!ImapInterval(4, 0).hasDefinedEnd());
    ImapSet set;
    set.add(ImapInterval(4, 0));
    set.add(ImapInterval(1, 1));
    QCOMPARE(set.toImapSequenceSet(), QByteArray("4:*,1"));
}

void ProtocolInternalsTest::parseString_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("start");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("end");
    QTest::newRow("atom") << QByteArray("  abc def") << 0 << QByteArray("abc") << 5;
    QTest::newRow("from start index") << QByteArray("abc def") << 3 << QByteArray("def") << 7;
    QTest::newRow("quoted with escapes") << QByteArray("\"a\\\"b\\\\\" x") << 0 << QByteArray("a\"b\\") << 8;
    QTest::newRow("literal") << QByteArray("{3}\r\nabcdef") << 0 << QByteArray("abc") << 8;
    QTest::newRow("literal longer than the data") << QByteArray("{30}\r\nabc") << 0 << QByteArray("abc") << 9;
    QTest::newRow("NIL") << QByteArray("NIL)") << 0 << QByteArray() << 3;
    QTest::newRow("unterminated quote") << QByteArray("\"abc") << 0 << QByteArray("abc") << 4;
    QTest::newRow("start past the end") << QByteArray("abc") << 10 << QByteArray() << 3;
    QTest::newRow("brace that is no literal") << QByteArray("{x}y z") << 0 << QByteArray("{x}y") << 4;
}

void ProtocolInternalsTest::parseString()
{
    QFETCH(QByteArray, data);
    QFETCH(int, start);
    QFETCH(QByteArray, expected);
    QFETCH(int, end);
    QByteArray result;
    QCOMPARE(ImapParser::parseString(data, result, start), end);
    QCOMPARE(result, expected);
}

void ProtocolInternalsTest::parseList_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::addColumn<int>("end");
    QTest::newRow("flat") << QByteArray("(a \"b c\" {1}\r\nd) rest") << QList<QByteArray>{"a", "b c", "d"} << 16;
    QTest::newRow("nested stays whole") << QByteArray("(a (b (c \")\")) d)") << QList<QByteArray>{"a", "(b (c \")\"))", "d"} << 17;
    QTest::newRow("empty") << QByteArray("()") << QList<QByteArray>{} << 2;
    QTest::newRow("no list") << QByteArray("abc") << QList<QByteArray>{} << 0;
    QTest::newRow("unterminated") << QByteArray("(a (b") << QList<QByteArray>{"a", "(b"} << 5;
}

void ProtocolInternalsTest::parseList()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(int, end);
    QList<QByteArray> result;
    QCOMPARE(ImapParser::parseParenthesizedList(data, result), end);
    QCOMPARE(result, expected);
}

void ProtocolInternalsTest::parseNumber()
{
    qint64 value = -1;
    bool ok = false;
    QCOMPARE(ImapParser::parseNumber(" 1234x", value, &ok), 5);
    QVERIFY(ok);
    QCOMPARE(value, 1234);
    QCOMPARE(ImapParser::parseNumber("x", value, &ok, 0), 0);
    QVERIFY(!ok);
    QCOMPARE(ImapParser::parseNumber("99999999999999999999999", value, &ok), 0);
    QVERIFY(!ok);
}

void ProtocolInternalsTest::quoteRoundTrips()
{
    const QByteArray text("a \"quoted\" \\ back\r\nslash\x01");
    QByteArray back;
    const QByteArray quoted = ImapParser::quote(text);
    QCOMPARE(ImapParser::parseString(quoted, back), int(quoted.size()));
    QCOMPARE(back, text);
}

void ProtocolInternalsTest::splitVersionedKey_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("version");
    QTest::newRow("versioned") << QByteArray("PLD:RFC822[2]") << QByteArray("PLD:RFC822") << 2;
    QTest::newRow("plain") << QByteArray("PLD:RFC822") << QByteArray("PLD:RFC822") << 0;
    QTest::newRow("not a number") << QByteArray("PLD:X[a]") << QByteArray("PLD:X[a]") << 0;
}

void ProtocolInternalsTest::splitVersionedKey()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, key);
    QFETCH(int, version);
    QByteArray resultKey;
    int resultVersion = -1;
    ImapParser::splitVersionedKey(data, resultKey, resultVersion);
    QCOMPARE(resultKey, key);
    QCOMPARE(resultVersion, version);
}

static NotificationMessage message(int operation, qint64 uid, const QSet<QByteArray> &parts = {})
{
    NotificationMessage msg;
    msg.setSessionId("session");
    msg.setType(NotificationMessage::Item);
    msg.setOperation(operation);
    msg.setUid(uid);
    msg.setResource("resource");
    msg.setParentCollection(4);
    msg.setMimeType(QStringLiteral("message/rfc822"));
    msg.setItemParts(parts);
    return msg;
}

void ProtocolInternalsTest::appendAndCompress()
{
    NotificationMessage::List list;
    NotificationMessage::appendAndCompress(list, message(NotificationMessage::Add, 1));
    NotificationMessage::appendAndCompress(list, message(NotificationMessage::Modify, 1, {"PLD:RFC822"}));
    NotificationMessage::appendAndCompress(list, message(NotificationMessage::Modify, 1, {"FLAGS"}));
    NotificationMessage::appendAndCompress(list, message(NotificationMessage::Modify, 2, {"FLAGS"}));
    NotificationMessage::appendAndCompress(list, message(NotificationMessage::Remove, 1));
    NotificationMessage::appendAndCompress(list, message(NotificationMessage::Remove, 1));

    QCOMPARE(list.size(), 5);
    QCOMPARE(list.at(0).operation(), int(NotificationMessage::Add));
    QCOMPARE(list.at(1).itemParts(), (QSet<QByteArray>{"PLD:RFC822", "FLAGS"}));
    QCOMPARE(list.at(2).uid(), 2);
    QCOMPARE(list.at(3).operation(), int(NotificationMessage::Remove));
    QVERIFY(list.at(1).toString().contains(QLatin1String("Modify")));
}

// The indexed list must merge exactly as the plain one does, whatever the mix: the same item
// changed again, other items in between, other sessions, and non-mergeable operations.
void ProtocolInternalsTest::pendingNotificationsMergeAlike()
{
    NotificationMessage::List plain;
    PendingNotifications pending;
    const auto add = [&](const NotificationMessage &msg) {
        NotificationMessage::appendAndCompress(plain, msg);
        pending.append(msg);
    };
    for (int round = 0; round < 3; ++round) {
        for (qint64 uid = 1; uid <= 50; ++uid) {
            add(message(uid % 7 == 0 ? NotificationMessage::Add : NotificationMessage::Modify, uid,
                        {"P" + QByteArray::number(round)}));
            NotificationMessage other = message(NotificationMessage::Modify, uid, {"FLAGS"});
            other.setSessionId("other");
            add(other);
        }
    }
    QCOMPARE(pending.list(), plain);
    QCOMPARE(pending.list().size(), 43 + 50 + 3 * 7); // merged modifications of both sessions, every add
    const NotificationMessage::List taken = pending.take();
    QCOMPARE(taken, plain);
    QVERIFY(pending.isEmpty());
    // After taking, nothing stale is merged into.
    pending.append(message(NotificationMessage::Modify, 1, {"NEW"}));
    QCOMPARE(pending.list().size(), 1);
    QCOMPARE(pending.list().first().itemParts(), QSet<QByteArray>{"NEW"});
}

void ProtocolInternalsTest::busSignature()
{
    NotificationMessage::registerDBusTypes();
    QCOMPARE(QByteArray(QDBusMetaType::typeToSignature(QMetaType::fromType<NotificationMessage::List>())),
             QByteArray("a(ayiixsayxxsas)"));

    NotificationMessage::List sent{message(NotificationMessage::Modify, 42, {"PLD:RFC822", "FLAGS"})};
    QDBusArgument out;
    out << sent;
    QCOMPARE(out.currentSignature(), QStringLiteral("a(ayiixsayxxsas)"));
}

void ProtocolInternalsTest::baseDirectoriesFollowTheEnvironment()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("XDG_DATA_HOME", (dir.path() + QLatin1String("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (dir.path() + QLatin1String("/config")).toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", (dir.path() + QLatin1String("/etc1:") + dir.path() + QLatin1String("/etc2")).toLocal8Bit());
    qputenv("PATH", (dir.path() + QLatin1String("/bin")).toLocal8Bit());

    const QString saved = XdgBaseDirs::saveDir("data", QStringLiteral("talvori/file_db_data"));
    QCOMPARE(saved, dir.path() + QLatin1String("/data/talvori/file_db_data"));
    QVERIFY(QFileInfo(saved).isDir());

    QCOMPARE(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite),
             dir.path() + QLatin1String("/config/talvori/talvoriserverrc"));
    QCOMPARE(XdgBaseDirs::talvoriConnectionConfigFile(XdgBaseDirs::WriteOnly),
             dir.path() + QLatin1String("/config/talvori/talvoriconnectionrc"));

    // A system-wide file is found in the first configuration directory that has it.
    QDir().mkpath(dir.path() + QLatin1String("/etc2/talvori"));
    QFile systemWide(dir.path() + QLatin1String("/etc2/talvori/mysql-global.conf"));
    QVERIFY(systemWide.open(QIODevice::WriteOnly));
    systemWide.close();
    QCOMPARE(XdgBaseDirs::findResourceFile("config", QStringLiteral("talvori/mysql-global.conf")),
             systemWide.fileName());
    QCOMPARE(XdgBaseDirs::findResourceFile("config", QStringLiteral("talvori/missing.conf")), QString());

    // After the system's come the directories of this installation, the first of them beside the
    // program: in the build tree, the build's own templates.
    QVERIFY(systemWide.remove());
    const QFileInfo found(XdgBaseDirs::findResourceFile("config", QStringLiteral("talvori/mysql-global.conf")));
    const QFileInfo buildTemplate(qEnvironmentVariable("TALVORI_BUILD_DIR")
                                  + QLatin1String("/etc/xdg/talvori/mysql-global.conf"));
    QVERIFY2(buildTemplate.isFile(), qPrintable(buildTemplate.filePath()));
    QCOMPARE(found.canonicalFilePath(), buildTemplate.canonicalFilePath());

    // Executables come from PATH first, then from the extra directories.
    QDir().mkpath(dir.path() + QLatin1String("/bin"));
    QDir().mkpath(dir.path() + QLatin1String("/sbin"));
    for (const QString &path : {dir.path() + QLatin1String("/bin/tool"), dir.path() + QLatin1String("/sbin/other")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QCOMPARE(XdgBaseDirs::findExecutableFile(QStringLiteral("tool")), dir.path() + QLatin1String("/bin/tool"));
    QCOMPARE(XdgBaseDirs::findExecutableFile(QStringLiteral("other"), {dir.path() + QLatin1String("/sbin")}),
             dir.path() + QLatin1String("/sbin/other"));
    QCOMPARE(XdgBaseDirs::findExecutableFile(QStringLiteral("nowhere")), QString());
}

QTEST_GUILESS_MAIN(ProtocolInternalsTest)
#include "tst_protocolinternals.moc"

// talvori-maildir-resource against the real server: the shared real mails laid out as a Maildir
// with subfolders, flags and a new/ directory; every message fetched through the server byte for
// byte; an incremental synchronisation after messages were added, deleted and re-flagged; damaged
// and unreadable files; 10,000 generated messages. The Maildir is never changed by the resource.

#include "maildirresourceprocess.h"
#include "fetchline.h"
#include "maildirbuilder.h"
#include "messagegenerator.h"
#include "testclient.h"
#include "testserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>

#include <memory>

namespace {

// What the resource may never change: every path below the root with its content and time.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QByteArray state = QByteArray::number(info.lastModified().toMSecsSinceEpoch());
        QFile file(info.filePath());
        if (info.isFile() && file.open(QIODevice::ReadOnly))
            state += ' ' + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
        files.insert(QDir(root).relativeFilePath(info.filePath()), state);
    }
    return files;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray headerOf(const QByteArray &message)
{
    const qsizetype crlf = message.indexOf("\r\n\r\n");
    const qsizetype lf = message.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return message.left(crlf + 4);
    return lf >= 0 ? message.left(lf + 2) : message;
}

} // namespace

class MaildirResourceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void realMailByteForByte();
    void incrementalSync();
    void damagedFilesAreSkipped();
    void notAMaildir();
    void tenThousandMessages();

private:
    struct Message {
        QString folder;
        QString unique;
        QString flags;
        bool inNew = false;
        QByteArray content;
    };

    // The collections of a resource by remote identifier.
    QMap<QString, ListingLine> collections(const QString &resource);
    // The item lines of a collection, by remote identifier.
    QMap<QByteArray, QByteArray> items(qint64 collection, const QByteArray &attributes);
    static QList<QByteArray> expectedFlags(const QString &letters);

    TestServer m_server;
    TestClient m_client;
    QString m_realRoot;
    QList<Message> m_real;
    std::unique_ptr<MaildirResourceProcess> m_realAgent;
};

void MaildirResourceTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
    QVERIFY(m_server.login(m_client, "reader"));
    m_client.setTimeout(120000);
}

void MaildirResourceTest::cleanupTestCase()
{
    if (m_realAgent)
        m_realAgent->stop();
    m_client.disconnectFromServer();
    QCOMPARE(m_server.stop(), 0);
}

QMap<QString, ListingLine> MaildirResourceTest::collections(const QString &resource)
{
    QMap<QString, ListingLine> result;
    const QList<ListingLine> lines = m_client.list("X-TVLIST 0 INF (RESOURCE \"" + resource.toUtf8() + "\") ()");
    for (const ListingLine &line : lines)
        result.insert(line.remoteId, line);
    return result;
}

QMap<QByteArray, QByteArray> MaildirResourceTest::items(qint64 collection, const QByteArray &attributes)
{
    QMap<QByteArray, QByteArray> result;
    QList<QByteArray> lines;
    if (!m_client.runOk("SELECT SILENT " + QByteArray::number(collection))
        || !m_client.runOk("FETCH 1:* " + attributes, &lines))
        return result;
    for (const QByteArray &line : std::as_const(lines)) {
        if (line.startsWith("* "))
            result.insert(FetchLine::remoteId(line), line);
    }
    return result;
}

QList<QByteArray> MaildirResourceTest::expectedFlags(const QString &letters)
{
    QList<QByteArray> flags;
    const QList<QPair<QChar, QByteArray>> mapping{{QLatin1Char('S'), "\\Seen"},    {QLatin1Char('R'), "\\Answered"},
                                                   {QLatin1Char('F'), "\\Flagged"}, {QLatin1Char('T'), "\\Deleted"},
                                                   {QLatin1Char('D'), "\\Draft"}};
    for (const auto &[letter, flag] : mapping) {
        if (letters.contains(letter))
            flags.append(flag);
    }
    std::sort(flags.begin(), flags.end());
    return flags;
}

void MaildirResourceTest::realMailByteForByte()
{
    const QString source = qEnvironmentVariable("TALVORI_SHARED_DIR", QStringLiteral("../shared")) + QLatin1String("/testdata/mail");
    const QStringList files = QDir(source).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        QSKIP(qPrintable(QStringLiteral("no real mails in %1 (set TALVORI_SHARED_DIR)").arg(source)));

    m_realRoot = m_server.environment().path() + QLatin1String("/Mail");
    MaildirBuilder maildir(m_realRoot);
    const QStringList folders{QString(), QStringLiteral(".Archive"), QStringLiteral(".Archive.2019"), QStringLiteral(".Empty")};
    for (const QString &folder : folders)
        QVERIFY(maildir.addFolder(folder));
    const QStringList flagCycle{QStringLiteral("S"), QStringLiteral("RS"), QStringLiteral("FS"), QString(),
                                QStringLiteral("DS"), QStringLiteral("ST"), QStringLiteral("PS")};
    for (int i = 0; i < files.size(); ++i) {
        Message message;
        message.folder = folders.at(i < 14 ? 0 : i < 20 ? 1 : 2);
        message.unique = QStringLiteral("%1.%2.testhost").arg(1700000100 + i).arg(QFileInfo(files.at(i)).baseName());
        message.flags = flagCycle.at(i % flagCycle.size());
        message.inNew = i >= 9 && i < 14;
        message.content = readFile(source + QLatin1Char('/') + files.at(i));
        QVERIFY(!maildir.addMessage(message.folder, message.unique, message.content, message.flags, message.inNew).isEmpty());
        m_real.append(message);
    }
    const QMap<QString, QByteArray> before = snapshot(m_realRoot);

    m_realAgent = std::make_unique<MaildirResourceProcess>(QStringLiteral("maildir_real"), m_server);
    QVERIFY2(m_realAgent->start(m_realRoot), qPrintable(m_realAgent->errorString()));
    QVERIFY2(m_realAgent->waitForSynchronized(1, 120000), m_realAgent->errorOutput().constData());

    // The tree: the root, Archive inside it, 2019 inside Archive, Empty beside it.
    const QMap<QString, ListingLine> tree = collections(QStringLiteral("maildir_real"));
    QStringList expectedTree{m_realRoot, QStringLiteral(".Archive"), QStringLiteral(".Archive.2019"),
                             QStringLiteral(".Empty")};
    std::sort(expectedTree.begin(), expectedTree.end());
    QCOMPARE(tree.keys(), expectedTree);
    QCOMPARE(tree.value(m_realRoot).name, QStringLiteral("Mail"));
    QCOMPARE(tree.value(m_realRoot).parentId, 0);
    QCOMPARE(tree.value(QStringLiteral(".Archive")).parentId, tree.value(m_realRoot).id);
    QCOMPARE(tree.value(QStringLiteral(".Archive.2019")).name, QStringLiteral("2019"));
    QCOMPARE(tree.value(QStringLiteral(".Archive.2019")).parentId, tree.value(QStringLiteral(".Archive")).id);
    QCOMPARE(tree.value(QStringLiteral(".Empty")).parentId, tree.value(m_realRoot).id);

    // Only the header is cached, with the flags the file names carry.
    for (const QString &folder : folders) {
        const qint64 collection = tree.value(folder.isEmpty() ? m_realRoot : folder).id;
        const QMap<QByteArray, QByteArray> lines = items(collection, "CACHEONLY FULLPAYLOAD (FLAGS SIZE)");
        int expected = 0;
        for (const Message &message : std::as_const(m_real)) {
            if (message.folder != folder)
                continue;
            ++expected;
            const QByteArray line = lines.value(message.unique.toUtf8());
            QVERIFY2(!line.isEmpty(), qPrintable(message.unique));
            QVERIFY(line.contains("MIMETYPE \"message/rfc822\""));
            QCOMPARE(FetchLine::partValue(line, "PLD:HEAD"), headerOf(message.content));
            QCOMPARE(FetchLine::partValue(line, "PLD:RFC822"), QByteArray());
            QCOMPARE(FetchLine::number(line, "SIZE"), qint64(message.content.size()));
            QList<QByteArray> flags = FetchLine::flags(line);
            flags.removeAll(QByteArray());
            std::sort(flags.begin(), flags.end());
            QCOMPARE(flags, expectedFlags(message.inNew ? QString() : message.flags));
        }
        QCOMPARE(lines.size(), expected);
    }

    // Each message fetched whole is its file, byte for byte, and is delivered once.
    for (const Message &message : std::as_const(m_real)) {
        const qint64 collection = tree.value(message.folder.isEmpty() ? m_realRoot : message.folder).id;
        const QByteArray line = items(collection, "FULLPAYLOAD").value(message.unique.toUtf8());
        QCOMPARE(FetchLine::partValue(line, "PLD:RFC822"), message.content);
    }
    for (const QString &folder : folders) {
        const QMap<QByteArray, QByteArray> lines = items(tree.value(folder.isEmpty() ? m_realRoot : folder).id, "FULLPAYLOAD");
        for (const QByteArray &line : lines)
            QCOMPARE(FetchLine::number(line, "REV"), 1);
    }
    QCOMPARE(snapshot(m_realRoot), before);
}

void MaildirResourceTest::incrementalSync()
{
    if (!m_realAgent)
        QSKIP("needs the real mails of realMailByteForByte");
    const QMap<QString, ListingLine> tree = collections(QStringLiteral("maildir_real"));
    const qint64 root = tree.value(m_realRoot).id;
    const qint64 archive = tree.value(QStringLiteral(".Archive")).id;
    const QMap<QByteArray, QByteArray> rootBefore = items(root, "CACHEONLY (FLAGS)");
    const QMap<QByteArray, QByteArray> archiveBefore = items(archive, "CACHEONLY (FLAGS)");

    // Two new messages, one deleted, one flagged and one no longer seen, all in the Maildir alone.
    MaildirBuilder maildir(m_realRoot);
    const QByteArray added = "From: a@example.org\r\nSubject: added\r\n\r\nnew in the root\r\n";
    const QByteArray archived = "From: b@example.org\r\nSubject: archived\r\n\r\nnew in the archive\r\n";
    QVERIFY(!maildir.addMessage(QString(), QStringLiteral("1800000000.added.testhost"), added, QString(), true).isEmpty());
    QVERIFY(!maildir.addMessage(QStringLiteral(".Archive"), QStringLiteral("1800000001.archived.testhost"), archived,
                                QStringLiteral("S"))
                 .isEmpty());
    const Message &deleted = m_real.at(0); // "S"
    const Message &unseen = m_real.at(1);  // "RS" becomes "R"
    const Message &flagged = m_real.at(2); // "FS" becomes "DFS"
    QVERIFY(QFile::remove(maildir.messagePath(deleted.folder, deleted.unique, deleted.flags, false)));
    QVERIFY(QFile::rename(maildir.messagePath(flagged.folder, flagged.unique, flagged.flags, false),
                          maildir.messagePath(flagged.folder, flagged.unique, QStringLiteral("DFS"), false)));
    QVERIFY(QFile::rename(maildir.messagePath(unseen.folder, unseen.unique, unseen.flags, false),
                          maildir.messagePath(unseen.folder, unseen.unique, QStringLiteral("R"), false)));
    // A folder gone and a new one.
    QVERIFY(QDir(m_realRoot + QLatin1String("/.Empty")).removeRecursively());
    QVERIFY(maildir.addFolder(QStringLiteral(".Fresh")));
    const QMap<QString, QByteArray> before = snapshot(m_realRoot);

    const int count = m_realAgent->synchronizedCount();
    m_realAgent->synchronize();
    QVERIFY2(m_realAgent->waitForSynchronized(count + 1, 120000), m_realAgent->errorOutput().constData());

    const QMap<QByteArray, QByteArray> rootAfter = items(root, "CACHEONLY FULLPAYLOAD (FLAGS)");
    QMap<QByteArray, QByteArray> unchanged = rootBefore;
    unchanged.remove(deleted.unique.toUtf8());
    QList<QByteArray> expectedKeys = unchanged.keys() << "1800000000.added.testhost";
    std::sort(expectedKeys.begin(), expectedKeys.end());
    QCOMPARE(rootAfter.keys(), expectedKeys);
    // The others are the same items, neither appended nor delivered again; a flag change counts
    // as a revision.
    for (auto it = unchanged.cbegin(); it != unchanged.cend(); ++it) {
        const QByteArray line = rootAfter.value(it.key());
        const bool reflagged = it.key() == flagged.unique.toUtf8() || it.key() == unseen.unique.toUtf8();
        QCOMPARE(FetchLine::number(line, "UID"), FetchLine::number(it.value(), "UID"));
        QCOMPARE(FetchLine::number(line, "REV"), FetchLine::number(it.value(), "REV") + (reflagged ? 1 : 0));
    }
    QList<QByteArray> flags = FetchLine::flags(rootAfter.value(flagged.unique.toUtf8()));
    std::sort(flags.begin(), flags.end());
    QCOMPARE(flags, expectedFlags(QStringLiteral("DFS")));
    QCOMPARE(FetchLine::flags(rootAfter.value(unseen.unique.toUtf8())), expectedFlags(QStringLiteral("R")));
    const QByteArray newLine = rootAfter.value("1800000000.added.testhost");
    QCOMPARE(FetchLine::partValue(newLine, "PLD:HEAD"), headerOf(added));
    QCOMPARE(FetchLine::partValue(newLine, "PLD:RFC822"), QByteArray());

    const QMap<QString, ListingLine> treeAfter = collections(QStringLiteral("maildir_real"));
    QVERIFY(!treeAfter.contains(QStringLiteral(".Empty")));
    QCOMPARE(treeAfter.value(QStringLiteral(".Fresh")).parentId, root);
    QCOMPARE(treeAfter.value(QStringLiteral(".Archive")).id, archive);

    const QMap<QByteArray, QByteArray> archiveAfter = items(archive, "CACHEONLY (FLAGS)");
    QCOMPARE(archiveAfter.size(), archiveBefore.size() + 1);
    QVERIFY(archiveAfter.contains("1800000001.archived.testhost"));

    const QByteArray output = m_realAgent->errorOutput();
    QVERIFY2(output.contains("Mail: " + QByteArray::number(rootAfter.size()) + " messages; 1 added, 1 removed, 2 re-flagged, 0 skipped"),
             output.constData());
    QVERIFY2(output.contains("Archive: " + QByteArray::number(archiveAfter.size()) + " messages; 1 added, 0 removed, 0 re-flagged, 0 skipped"),
             output.constData());
    QCOMPARE(snapshot(m_realRoot), before);
}

void MaildirResourceTest::damagedFilesAreSkipped()
{
    const QString root = m_server.environment().path() + QLatin1String("/Damaged");
    MaildirBuilder maildir(root);
    QVERIFY(maildir.addFolder());
    const QByteArray good = "Subject: fine\r\n\r\nbody\r\n";
    QVERIFY(!maildir.addMessage(QString(), QStringLiteral("1.good.testhost"), good, QStringLiteral("S")).isEmpty());
    const QString empty = maildir.addMessage(QString(), QStringLiteral("2.empty.testhost"), QByteArray(), QStringLiteral("S"));
    const QString garbage = maildir.addMessage(QString(), QStringLiteral("3.garbage.testhost"), QByteArray("\0\1\2binary", 9),
                                               QString(), true);
    const QString dangling = maildir.messagePath(QString(), QStringLiteral("4.dangling.testhost"), QStringLiteral("S"), false);
    QVERIFY(!empty.isEmpty() && !garbage.isEmpty());
    QVERIFY(QFile::link(root + QLatin1String("/nowhere"), dangling));

    MaildirResourceProcess agent(QStringLiteral("maildir_damaged"), m_server);
    QVERIFY2(agent.start(root), qPrintable(agent.errorString()));
    QVERIFY2(agent.waitForSynchronized(1, 60000), agent.errorOutput().constData());

    const QByteArray output = agent.errorOutput();
    for (const QByteArray &expected : {empty.toLocal8Bit() + ": skipped: the file is empty",
                                       garbage.toLocal8Bit() + ": skipped: it does not begin with a header field",
                                       dangling.toLocal8Bit() + ": skipped: ",
                                       QByteArray("Damaged: 4 messages; 1 added, 0 removed, 0 re-flagged, 3 skipped")})
        QVERIFY2(output.contains(expected), output.constData());
    const QMap<QString, ListingLine> tree = collections(QStringLiteral("maildir_damaged"));
    const QMap<QByteArray, QByteArray> lines = items(tree.value(QFileInfo(root).absoluteFilePath()).id, "FULLPAYLOAD");
    QCOMPARE(lines.keys(), QList<QByteArray>{"1.good.testhost"});
    QCOMPARE(FetchLine::partValue(lines.first(), "PLD:RFC822"), good);
    QCOMPARE(agent.process().state(), QProcess::Running);
}

void MaildirResourceTest::notAMaildir()
{
    const QString root = m_server.environment().path() + QLatin1String("/Plain");
    QVERIFY(QDir().mkpath(root));
    MaildirResourceProcess agent(QStringLiteral("maildir_plain"), m_server);
    QVERIFY(!agent.start(root));
    QVERIFY(agent.process().state() == QProcess::NotRunning || agent.process().waitForFinished(10000));
    QCOMPARE(agent.process().exitCode(), 1);
    QVERIFY2(agent.errorOutput().contains("is not a Maildir: it has neither cur/ nor new/"), agent.errorOutput().constData());
}

void MaildirResourceTest::tenThousandMessages()
{
    const int count = 10000;
    const QString root = m_server.environment().path() + QLatin1String("/Big");
    MaildirBuilder maildir(root);
    QVERIFY(maildir.addFolder());
    const MessageGenerator generator("maildir");
    QHash<QByteArray, int> indexOf;
    for (int i = 0; i < count; ++i) {
        const QString unique = MaildirBuilder::uniqueName(i);
        QVERIFY(!maildir.addMessage(QString(), unique, generator.message(i, 1024 + i % 512), QStringLiteral("S")).isEmpty());
        indexOf.insert(unique.toUtf8(), i);
    }

    MaildirResourceProcess agent(QStringLiteral("maildir_big"), m_server);
    QVERIFY2(agent.start(root), qPrintable(agent.errorString()));
    QVERIFY2(agent.waitForSynchronized(1, 600000), agent.errorOutput().right(4000).constData());
    QVERIFY2(agent.errorOutput().contains("Big: 5000 of 10000 new messages"), agent.errorOutput().constData());

    const qint64 collection = collections(QStringLiteral("maildir_big")).value(QFileInfo(root).absoluteFilePath()).id;
    QVERIFY(m_client.runOk("SELECT SILENT " + QByteArray::number(collection)));
    // Every message once, delivered through the resource, equal to its file.
    for (int pass = 0; pass < 2; ++pass) {
        int matching = 0;
        QSet<QByteArray> seen;
        QVERIFY(m_client.runStreaming("FETCH 1:* FULLPAYLOAD", [&](QByteArrayView line) {
            const QByteArray remoteId = FetchLine::remoteId(line);
            const int index = indexOf.value(remoteId, -1);
            if (index >= 0 && !seen.contains(remoteId)
                && FetchLine::partValue(line, "PLD:RFC822") == generator.message(index, 1024 + index % 512))
                ++matching;
            seen.insert(remoteId);
        }));
        QCOMPARE(matching, count);
    }
    QVERIFY(m_client.runOk("SELECT SILENT 0"));
}

QTEST_GUILESS_MAIN(MaildirResourceTest)
#include "tst_maildirresource.moc"

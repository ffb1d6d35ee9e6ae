// What a server killed in the middle of its work leaves behind is mended at the next start, before
// any client is served: payload files of transactions that never committed, old revisions a
// committed change had not deleted yet and temporary upload files are removed (and counted in the
// log), files that are not the server's are left alone, and an item part whose file is missing is
// reported, never deleted. TALVORI_TEST_BACKEND picks the database.

#include "testclient.h"
#include "testserver.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

class CrashRecoveryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void uncommittedFilesAreRemovedAfterKill();
    void missingFileIsReported();

private:
    QString payloadDir() const { return m_server->environment().dataHome() + QLatin1String("/talvori/file_db_data"); }
    QStringList payloadFiles() const { return QDir(payloadDir()).entryList(QDir::Files, QDir::Name); }
    // SIGKILL, then a fresh start on the same home and database.
    bool killAndRestart();
    QByteArray fetchPayload(qint64 item);

    // Each test's server has a home and database of its own on this bus.
    TempEnvironment m_busHome;
    TestBus m_bus;
    std::unique_ptr<TestServer> m_server;
    TestClient m_client;
    qint64 m_collection = -1;
};

void CrashRecoveryTest::initTestCase()
{
    QVERIFY(m_bus.start(m_busHome.path()));
}

void CrashRecoveryTest::init()
{
    m_server = std::make_unique<TestServer>(m_bus);
    TALVORI_VERIFY_STARTED(*m_server, m_server->start({QStringLiteral("res1")}));
    QVERIFY(m_server->login(m_client, "res1"));
    m_collection = m_client.create("\"Inbox\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(m_collection > 0);
}

void CrashRecoveryTest::cleanup()
{
    m_client.disconnectFromServer();
    if (m_server)
        QCOMPARE(m_server->stop(), 0);
    m_server.reset();
}

bool CrashRecoveryTest::killAndRestart()
{
    // Killed before the client goes: a server that saw its client leave first would roll the
    // open transaction back and clean up after it.
    m_server->process().kill();
    if (!m_server->process().waitForFinished(10000))
        return false;
    m_client.disconnectFromServer();
    if (!m_server->start({QStringLiteral("res1")})) {
        qWarning() << m_server->errorString();
        return false;
    }
    return m_server->login(m_client, "res1");
}

QByteArray CrashRecoveryTest::fetchPayload(qint64 item)
{
    QList<QByteArray> lines;
    if (!m_client.runOk("UID FETCH " + QByteArray::number(item) + " (PLD:RFC822)", &lines) || lines.size() < 2)
        return QByteArray();
    const QByteArray &line = lines.first();
    const qsizetype start = line.indexOf("}\r\n");
    return start < 0 ? QByteArray() : line.mid(start + 3, line.size() - start - 4);
}

void CrashRecoveryTest::uncommittedFilesAreRemovedAfterKill()
{
    const QByteArray committed(64 * 1024, 'c');
    const qint64 kept = m_client.tvAppend(m_collection, "(PLD:RFC822 :65536)", committed);
    QVERIFY(kept > 0);
    const QStringList committedFiles = payloadFiles();
    QCOMPARE(committedFiles.size(), 1);

    // Killed inside a transaction: a new item's file and a new revision of the kept one are on
    // disk, their rows are not committed.
    QVERIFY(m_client.runOk("BEGIN"));
    QVERIFY(m_client.tvAppend(m_collection, "(PLD:RFC822 :65536)", QByteArray(64 * 1024, 'u')) > 0);
    const QByteArray revision(70000, 'r');
    const QByteArray tag = m_client.nextTag();
    QVERIFY(m_client.runLiteral(tag, "UID STORE " + QByteArray::number(kept) + " (PLD:RFC822 ", revision, ")")
                .last()
                .startsWith(tag + " OK"));
    QCOMPARE(payloadFiles().size(), 3);
    // A temporary upload file from a system without unnamed temporary files, and a file that is
    // none of the server's.
    QVERIFY(QFile(payloadDir() + QLatin1String("/pending-a1b2c3")).open(QIODevice::WriteOnly));
    QVERIFY(QFile(payloadDir() + QLatin1String("/notes.txt")).open(QIODevice::WriteOnly));

    QVERIFY(killAndRestart());
    QCOMPARE(payloadFiles(), QStringList(committedFiles + QStringList{QStringLiteral("notes.txt")}));
    QVERIFY2(m_server->output().contains("Removed 3 payload files that no item part names"),
             m_server->output().constData());
    QCOMPARE(fetchPayload(kept), committed);

    // A clean restart finds nothing more to remove.
    QVERIFY(killAndRestart());
    QVERIFY(!m_server->output().contains("payload files that no item part names"));
}

void CrashRecoveryTest::missingFileIsReported()
{
    const qint64 item = m_client.tvAppend(m_collection, "(PLD:RFC822 :65536)", QByteArray(64 * 1024, 'm'));
    QVERIFY(item > 0);
    const QStringList files = payloadFiles();
    QCOMPARE(files.size(), 1);
    QVERIFY(QFile::remove(payloadDir() + QLatin1Char('/') + files.first()));

    QVERIFY(killAndRestart());
    const QByteArray expected = "Payload file missing (item, part, file): \"" + QByteArray::number(item) + " PLD:RFC822 "
        + QFile::encodeName(payloadDir()) + '/' + files.first().toUtf8() + '"';
    QVERIFY2(m_server->output().contains(expected), m_server->output().constData());
    // The row stays: the item is still listed.
    QList<QByteArray> lines;
    QVERIFY(m_client.runOk("UID FETCH " + QByteArray::number(item) + " (REV)", &lines));
    QCOMPARE(lines.size(), 2);
}

QTEST_GUILESS_MAIN(CrashRecoveryTest)
#include "tst_crashrecovery.moc"

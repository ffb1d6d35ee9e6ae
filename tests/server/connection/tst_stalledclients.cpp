// One client cannot hold the others up: a STORE part whose bytes are still on their way holds no
// lock, a transaction left open does not hold up readers, one left idle is rolled back after
// "Connection/IdleTransactionTimeout", and a writer that waits for a lock longer than
// "Connection/LockTimeout" gets a NO that says so. TALVORI_TEST_BACKEND picks the database.
//
// A stalled client used to hold the others for as long as it liked (minutes); "answered" here means
// within AnswerWithinMs, far below every default bound, but generous enough for a loaded machine.

#include "testclient.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTest>

namespace {
constexpr int AnswerWithinMs = 3000;
}

class StalledClientsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void halfSentStorePartHoldsNoLock();
    void openTransactionDoesNotHoldUpReaders();
    void idleTransactionIsRolledBack();
    void lockWaitEndsWithNo();

private:
    // Restarts the server with these "Connection" keys (0 leaves the default) and logs both
    // clients in.
    bool restartWith(int idleTransactionMs, int lockMs);
    // Runs command on the other client, which must be answered in time; the answer's tagged line.
    QByteArray othersCommand(const QByteArray &command);
    bool othersAppend();
    QByteArray flagsOf(TestClient &client, qint64 item);

    TestServer m_server;
    TestClient m_stalling;
    TestClient m_other;
    qint64 m_collection = -1;
    qint64 m_item = -1;
};

void StalledClientsTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.prepare());
    QVERIFY(restartWith(0, 0));
    m_collection = m_other.create("\"Inbox\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(m_collection > 0);
    m_item = m_other.tvAppend(m_collection, "(PLD:RFC822 :5)", "hello");
    QVERIFY(m_item > 0);
}

void StalledClientsTest::cleanupTestCase()
{
    m_stalling.disconnectFromServer();
    m_other.disconnectFromServer();
    QCOMPARE(m_server.stop(), 0);
}

void StalledClientsTest::cleanup()
{
    // Whatever a failed test left open must not hold up the next one.
    m_stalling.run("ROLLBACK");
}

bool StalledClientsTest::restartWith(int idleTransactionMs, int lockMs)
{
    m_stalling.disconnectFromServer();
    m_other.disconnectFromServer();
    if (m_server.process().state() != QProcess::NotRunning && m_server.stop() != 0)
        return false;
    {
        QSettings settings(m_server.environment().serverSettingsFile(), QSettings::IniFormat);
        for (const auto &[key, value] : {std::pair{"Connection/IdleTransactionTimeout", idleTransactionMs},
                                         std::pair{"Connection/LockTimeout", lockMs}}) {
            if (value > 0)
                settings.setValue(QLatin1String(key), value);
            else
                settings.remove(QLatin1String(key));
        }
    }
    if (!m_server.start({QStringLiteral("res1")})) {
        qWarning() << m_server.errorString();
        return false;
    }
    m_other.setTimeout(AnswerWithinMs);
    return m_server.login(m_stalling, "res1") && m_server.login(m_other, "res1");
}

QByteArray StalledClientsTest::othersCommand(const QByteArray &command)
{
    QElapsedTimer timer;
    timer.start();
    const QByteArray answer = m_other.tagged(command);
    qInfo().noquote() << command << "answered in" << timer.elapsed() << "ms:" << answer;
    return answer;
}

bool StalledClientsTest::othersAppend()
{
    QElapsedTimer timer;
    timer.start();
    const bool appended = m_other.tvAppend(m_collection, "(PLD:RFC822 :4)", "new!") > 0;
    qInfo() << "X-TVAPPEND answered in" << timer.elapsed() << "ms";
    return appended;
}

QByteArray StalledClientsTest::flagsOf(TestClient &client, qint64 item)
{
    QList<QByteArray> lines;
    if (!client.runOk("UID FETCH " + QByteArray::number(item) + " (FLAGS)", &lines) || lines.size() != 2)
        return "no answer";
    return lines.first().mid(lines.first().indexOf("FLAGS"));
}

void StalledClientsTest::halfSentStorePartHoldsNoLock()
{
    const QByteArray tag = m_stalling.nextTag();
    m_stalling.send(tag + " UID STORE " + QByteArray::number(m_item) + " (PLD:RFC822 {10}\r\n");
    QVERIFY(m_stalling.readLine().startsWith("+ "));
    m_stalling.send("01234");

    QVERIFY(othersAppend());
    QVERIFY(othersCommand("UID FETCH " + QByteArray::number(m_item) + " (PLD:RFC822)").startsWith("OK "));
    QVERIFY(othersCommand("UID STORE " + QByteArray::number(m_item) + " (+FLAGS (\\Answered))").startsWith("OK "));

    m_stalling.send("56789)\r\n");
    const QList<QByteArray> answer = m_stalling.readUntilTagged(tag);
    QVERIFY(!answer.isEmpty());
    QVERIFY2(answer.last().startsWith(tag + " OK"), answer.last().constData());
    QList<QByteArray> lines;
    QVERIFY(m_other.runOk("UID FETCH " + QByteArray::number(m_item) + " (PLD:RFC822)", &lines));
    QVERIFY2(lines.first().contains("{10}\r\n0123456789"), lines.first().constData());
}

void StalledClientsTest::openTransactionDoesNotHoldUpReaders()
{
    // The row the reader wants is locked by the writer, and so is SQLite's write lock.
    QVERIFY(m_stalling.runOk("BEGIN"));
    QVERIFY(m_stalling.runOk("UID STORE " + QByteArray::number(m_item) + " (+FLAGS (\\Flagged))"));

    const QByteArray item = QByteArray::number(m_item);
    for (const QByteArray &command : {"UID FETCH " + item + " (FLAGS)", "UID FETCH " + item + " (PLD:RFC822)",
                                      "UID FETCH " + item + " CACHEONLY (PLD:RFC822)"}) {
        QVERIFY2(othersCommand(command).startsWith("OK "), command.constData());
    }
    // The reader saw the state before the writer's change; after the commit it sees the change.
    QVERIFY(!flagsOf(m_other, m_item).contains("\\Flagged"));
    QVERIFY(m_stalling.runOk("COMMIT"));
    QVERIFY(flagsOf(m_other, m_item).contains("\\Flagged"));
}

void StalledClientsTest::idleTransactionIsRolledBack()
{
    QVERIFY(restartWith(1000, 0));
    QVERIFY(m_stalling.runOk("BEGIN"));
    const qint64 uncommitted = m_stalling.tvAppend(m_collection, "(PLD:RFC822 :4)", "lost");
    QVERIFY(uncommitted > 0);

    QVERIFY(othersAppend());

    bool ok = false;
    QCOMPARE(m_stalling.readLine(&ok, AnswerWithinMs), QByteArray("* NO Transaction rolled back: no command for 1000 ms"));
    QCOMPARE(m_stalling.tagged("COMMIT"), QByteArray("NO There is no transaction in progress."));
    // The other client's item may have been given the id again, never the rolled back bytes.
    QList<QByteArray> lines;
    QVERIFY(m_other.runOk("UID FETCH " + QByteArray::number(uncommitted) + " (PLD:RFC822)", &lines));
    QVERIFY2(!lines.join().contains("lost"), lines.join().constData());

    // A transaction in use is not idle: each command starts its time anew.
    QVERIFY(m_stalling.runOk("BEGIN"));
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(400);
        QVERIFY(m_stalling.runOk("UID FETCH " + QByteArray::number(m_item) + " (REV)"));
    }
    QVERIFY(m_stalling.runOk("COMMIT"));
}

void StalledClientsTest::lockWaitEndsWithNo()
{
    QVERIFY(restartWith(0, 500));
    const QByteArray store = "UID STORE " + QByteArray::number(m_item) + " (+FLAGS (\\Seen))";
    QVERIFY(m_stalling.runOk("BEGIN"));
    QVERIFY(m_stalling.runOk(store));

    // SQLite's one write lock is waited for before the transaction begins, the row locks of the
    // others by the statement that needs them.
    const QByteArray refused = othersCommand(store);
    if (m_server.backend().isSqlite()) {
        QCOMPARE(refused, QByteArray("NO Unable to begin transaction: another connection held the database's write "
                                     "lock for longer than 500 ms."));
    } else {
        QVERIFY2(refused.startsWith("NO ") && refused.endsWith(": another connection held a lock for longer than 500 ms."),
                 refused.constData());
    }
    QVERIFY(m_stalling.runOk("COMMIT"));
    QVERIFY(othersCommand(store).startsWith("OK "));
    QVERIFY(restartWith(0, 0));
}

QTEST_GUILESS_MAIN(StalledClientsTest)
#include "tst_stalledclients.moc"

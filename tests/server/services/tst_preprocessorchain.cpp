// The preprocessor chain against preprocessor agents on the server's private bus (TestPreprocessor
// peers that answer when the test says so): items hidden until the last agent has passed them,
// registration order, wrong reports, items of client transactions handed over when (and only
// when) their transaction commits, unregistration and restarted agents leaving no item behind,
// and General/DisablePreprocessing.

#include "chainwatch.h"
#include "notifylistener.h"
#include "testclient.h"
#include "testpreprocessor.h"
#include "testserver.h"
#include "traceviewer.h"

#include <QTest>

#include <memory>

class PreprocessorChainTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void withoutPreprocessorsItemsAreVisible();
    void itemsPassTheChainInRegistrationOrder();
    void reportsOutOfTurnAdvanceByOne();
    void transactionsHandTheirOwnItemsOver_data();
    void transactionsHandTheirOwnItemsOver();
    void aClosedConnectionLeavesNoWaitingItems();
    void registeringTwiceKeepsOneInstance();
    void unregisteringPassesItemsOn_data();
    void unregisteringPassesItemsOn();
    void aRestartedAgentGetsItsItemAgain();
    void disabledPreprocessingSkipsTheChain();

private:
    // A preprocessor on the bus, registered and taken into the chain.
    TestPreprocessor *addPreprocessor(const QString &id, bool answerAtOnce = false);
    qint64 append(const QByteArray &subject = "test");
    // "X-TVAPPEND" with its data as a quoted string, so that several commands can go in one write.
    QByteArray appendCommand(const QByteArray &tag, const QByteArray &subject) const;

    TestServer m_server;
    TestClient m_client;
    std::unique_ptr<ChainWatch> m_watch;
    std::unique_ptr<TraceViewer> m_trace;
    qint64 m_collection = -1;
    std::vector<std::unique_ptr<TestPreprocessor>> m_preprocessors;
};

void PreprocessorChainTest::initTestCase()
{
    QVERIFY2(m_server.prepare(), qPrintable(m_server.errorString()));
    // The chain's warnings are read as a trace viewer sees them.
    m_server.environment().writeServerSettings(QStringLiteral("Debug"), QStringLiteral("Tracer"), QStringLiteral("dbus"));
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    QVERIFY(m_server.login(m_client, "res1"));
    m_collection = m_client.create("\"chain\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(m_collection > 0);
    m_watch = std::make_unique<ChainWatch>(m_server, m_client);
    m_trace = std::make_unique<TraceViewer>(m_server.bus().address());
}

void PreprocessorChainTest::cleanupTestCase()
{
    m_preprocessors.clear();
    QCOMPARE(m_server.stop(), 0);
}

void PreprocessorChainTest::cleanup()
{
    // Every test starts with an empty chain.
    for (const std::unique_ptr<TestPreprocessor> &preprocessor : m_preprocessors) {
        preprocessor->unregisterFromServer();
        QVERIFY(m_watch->waitForUnregistrations(preprocessor->id()));
    }
    m_preprocessors.clear();
}

TestPreprocessor *PreprocessorChainTest::addPreprocessor(const QString &id, bool answerAtOnce)
{
    std::unique_ptr<TestPreprocessor> preprocessor = m_watch->addPreprocessor(id, answerAtOnce);
    if (!preprocessor)
        return nullptr;
    m_preprocessors.push_back(std::move(preprocessor));
    return m_preprocessors.back().get();
}

QByteArray PreprocessorChainTest::appendCommand(const QByteArray &tag, const QByteArray &subject) const
{
    const QByteArray data = "Subject: " + subject + "\r\n\r\nbody";
    return tag + " X-TVAPPEND " + QByteArray::number(m_collection) + ' ' + QByteArray::number(data.size())
           + " () (PLD:RFC822 :" + QByteArray::number(data.size()) + ") \"" + data + "\"\r\n";
}

qint64 PreprocessorChainTest::append(const QByteArray &subject)
{
    const QByteArray data = "Subject: " + subject + "\r\n\r\nbody";
    return m_client.tvAppend(m_collection, "(PLD:RFC822 :" + QByteArray::number(data.size()) + ')', data);
}

void PreprocessorChainTest::withoutPreprocessorsItemsAreVisible()
{
    const qint64 item = append();
    QVERIFY(item > 0);
    QVERIFY(!m_watch->isHidden(item));
}

void PreprocessorChainTest::itemsPassTheChainInRegistrationOrder()
{
    TestPreprocessor *a = addPreprocessor(QStringLiteral("order_a"));
    TestPreprocessor *b = addPreprocessor(QStringLiteral("order_b"));
    QVERIFY(a && b);
    NotifyListener listener(m_server.bus().address());

    const qint64 item = append();
    QVERIFY(item > 0);
    QVERIFY(m_watch->isHidden(item));
    QVERIFY(a->waitForJobs(1));
    QCOMPARE(a->jobs.first().id, item);
    QCOMPARE(a->jobs.first().collectionId, m_collection);
    QCOMPARE(a->jobs.first().mimeType, QStringLiteral("message/rfc822"));
    QTest::qWait(200);
    QVERIFY(b->jobs.isEmpty());

    a->report(item);
    QVERIFY(b->waitForJobs(1));
    QCOMPARE(b->jobs.first().id, item);
    QVERIFY(m_watch->isHidden(item));

    b->report(item);
    QVERIFY(m_watch->waitUntilVisible({item}));
    QCOMPARE(a->jobs.size(), 1);
    // Clients learn that the item has come out from a change of its hidden part.
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const NotificationMessage::List &batch : std::as_const(listener.batches)) {
                for (const NotificationMessage &message : batch) {
                    if (message.uid() == item && message.operation() == NotificationMessage::Modify
                        && message.itemParts().contains("ATR:HIDDEN"))
                        return true;
                }
            }
            return false;
        },
        5000));
}

void PreprocessorChainTest::reportsOutOfTurnAdvanceByOne()
{
    TestPreprocessor *a = addPreprocessor(QStringLiteral("wrong"));
    QVERIFY(a);
    const qint64 first = append();
    const qint64 second = append();
    QVERIFY(a->waitForJobs(1));
    QTest::qWait(100);
    QCOMPARE(a->jobIds(), QList<qint64>{first});

    // A report of another id still finishes the head, with a warning.
    a->report(999999);
    QVERIFY(m_watch->waitUntilVisible({first}));
    QVERIFY(m_trace->waitFor(QStringLiteral("warningEmitted"),
                             QStringLiteral("Pre-processor instance 'wrong' emitted itemProcessed(999999) but the head item "
                                            "in the queue has id %1")
                                 .arg(first)));
    QVERIFY(a->waitForJobs(2));
    QCOMPARE(a->jobs.at(1).id, second);
    QVERIFY(m_watch->isHidden(second));
    a->report(second);
    QVERIFY(m_watch->waitUntilVisible({second}));

    // With nothing queued a report is only a warning.
    a->report(second);
    QVERIFY(m_trace->waitFor(QStringLiteral("warningEmitted"),
                             QStringLiteral("Pre-processor instance 'wrong' emitted itemProcessed(%1) but we actually have no "
                                            "item in the queue")
                                 .arg(second)));
    const qint64 third = append();
    QVERIFY(a->waitForJobs(3));
    QCOMPARE(a->jobs.at(2).id, third);
    a->report(third);
    QVERIFY(m_watch->waitUntilVisible({third}));
}

void PreprocessorChainTest::transactionsHandTheirOwnItemsOver_data()
{
    QTest::addColumn<QByteArray>("firstEnd");
    // The end of one transaction and the next one's append go in a single write, so that the
    // server reads the second append before its main thread would see the first end.
    QTest::newRow("commit, then another transaction") << QByteArray("COMMIT");
    QTest::newRow("rollback, then another transaction") << QByteArray("ROLLBACK");
}

void PreprocessorChainTest::transactionsHandTheirOwnItemsOver()
{
    QFETCH(QByteArray, firstEnd);
    TestPreprocessor *a = addPreprocessor(QStringLiteral("transactions"), true);
    QVERIFY(a);

    m_client.send("x1 BEGIN\r\n" + appendCommand("x2", "first") + "x3 " + firstEnd + "\r\nx4 BEGIN\r\n"
                  + appendCommand("x5", "second"));
    const QList<QByteArray> answer = m_client.readUntilTagged("x5");
    QVERIFY2(answer.size() >= 2 && answer.last() == "x5 OK Append completed", answer.join('\n').constData());
    const QByteArray uidLine = answer.at(answer.size() - 2);
    QVERIFY(uidLine.startsWith("x5 [UIDNEXT "));
    const qint64 second = uidLine.mid(12, uidLine.size() - 13).toLongLong();

    // The second transaction is still open: its item goes nowhere, whatever the first one did.
    QTest::qWait(400);
    QVERIFY(!a->jobIds().contains(second));
    QCOMPARE(a->jobs.size(), firstEnd == "COMMIT" ? 1 : 0);
    QVERIFY(m_watch->isHidden(second));

    QCOMPARE(m_client.tagged("COMMIT"), QByteArray("OK Commit completed"));
    QVERIFY(a->waitForJobs(firstEnd == "COMMIT" ? 2 : 1));
    QCOMPARE(a->jobs.last().id, second);
    QVERIFY(m_watch->waitUntilVisible({second}));
}

void PreprocessorChainTest::aClosedConnectionLeavesNoWaitingItems()
{
    TestPreprocessor *a = addPreprocessor(QStringLiteral("closed"), true);
    QVERIFY(a);
    {
        // A client that goes away inside its transaction: the transaction is rolled back and its
        // data store destroyed with the connection's thread.
        TestClient gone;
        QVERIFY(m_server.login(gone, "gone"));
        QCOMPARE(gone.tagged("BEGIN"), QByteArray("OK Begin completed"));
        QVERIFY(gone.tvAppend(m_collection, "(PLD:RFC822 :4)", "gone") > 0);
        gone.disconnectFromServer();
    }
    QTest::qWait(300);
    // The next connection (whose data store may well get the same address) hands over its own
    // items only.
    TestClient next;
    QVERIFY(m_server.login(next, "next"));
    QCOMPARE(next.tagged("BEGIN"), QByteArray("OK Begin completed"));
    const qint64 item = next.tvAppend(m_collection, "(PLD:RFC822 :4)", "next");
    QVERIFY(item > 0);
    QCOMPARE(next.tagged("COMMIT"), QByteArray("OK Commit completed"));
    QVERIFY(a->waitForJobs(1));
    QTest::qWait(200);
    QCOMPARE(a->jobIds(), QList<qint64>{item});
    QVERIFY(m_watch->waitUntilVisible({item}));
}

void PreprocessorChainTest::registeringTwiceKeepsOneInstance()
{
    TestPreprocessor *a = addPreprocessor(QStringLiteral("twice"));
    QVERIFY(a);
    a->registerWithServer();
    QTest::qWait(200);
    const qint64 item = append();
    QVERIFY(a->waitForJobs(1));
    a->report(item);
    // One report is enough: there is no second instance of it down the chain.
    QVERIFY(m_watch->waitUntilVisible({item}));
    QCOMPARE(a->jobs.size(), 1);
}

void PreprocessorChainTest::unregisteringPassesItemsOn_data()
{
    QTest::addColumn<bool>("last");
    QTest::newRow("the last of the chain: its items are done") << true;
    QTest::newRow("one in the middle: the next one gets its items") << false;
}

void PreprocessorChainTest::unregisteringPassesItemsOn()
{
    QFETCH(bool, last);
    TestPreprocessor *a = addPreprocessor(QStringLiteral("leaving"));
    TestPreprocessor *b = last ? nullptr : addPreprocessor(QStringLiteral("staying"), true);
    QVERIFY(a && (last || b));
    const qint64 busy = append();
    const qint64 queued = append();
    QVERIFY(a->waitForJobs(1));
    QVERIFY(m_watch->isHidden(busy) && m_watch->isHidden(queued));

    // In the middle of processing its first item.
    a->unregisterFromServer();
    QVERIFY(m_watch->waitForUnregistrations(a->id()));
    m_preprocessors.erase(m_preprocessors.begin());
    QVERIFY(m_watch->waitUntilVisible({busy, queued}));
    if (b)
        QCOMPARE(b->jobIds(), (QList<qint64>{busy, queued}));
}

void PreprocessorChainTest::aRestartedAgentGetsItsItemAgain()
{
    TestPreprocessor *a = addPreprocessor(QStringLiteral("restarted"));
    TestPreprocessor *b = addPreprocessor(QStringLiteral("after"), true);
    QVERIFY(a && b);
    const qint64 item = append();
    QVERIFY(a->waitForJobs(1));

    // The agent goes (taking the item along) and comes back as a new process under its name.
    a->leave();
    QTest::qWait(200);
    QVERIFY(a->join());
    a->registerWithServer();
    QVERIFY(a->waitForJobs(2));
    QCOMPARE(a->jobs.at(1).id, item);
    QVERIFY(b->jobs.isEmpty());
    QVERIFY(m_watch->isHidden(item));

    // It kept its place: the next one still comes after it.
    a->report(item);
    QVERIFY(b->waitForJobs(1));
    QVERIFY(m_watch->waitUntilVisible({item}));
}

void PreprocessorChainTest::disabledPreprocessingSkipsTheChain()
{
    m_client.logout();
    QCOMPARE(m_server.stop(), 0);
    m_server.environment().writeServerSettings(QStringLiteral("General"), QStringLiteral("DisablePreprocessing"), true);
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
    QVERIFY(m_server.login(m_client, "res1"));

    TestPreprocessor *a = addPreprocessor(QStringLiteral("disabled"), true);
    QVERIFY(a);
    const qint64 item = append();
    QVERIFY(item > 0);
    QVERIFY(!m_watch->isHidden(item));
    QTest::qWait(300);
    QVERIFY(a->jobs.isEmpty());
}

QTEST_GUILESS_MAIN(PreprocessorChainTest)
#include "tst_preprocessorchain.moc"

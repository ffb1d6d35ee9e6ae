// The preprocessor chain's heartbeat at a short beat (Debug/PreprocessorHeartbeat): an agent that
// never answers is asked to abort, then restarted through the control process's agent manager,
// then dropped, no earlier than 4, 6 and 8 beats into its item, and its items come out; without a
// control process the restart fails and the agent is dropped at once; an agent that leaves the
// bus is dropped after a beat, one that a restart brings back keeps its items. The server answers
// its clients throughout.

#include "chainwatch.h"
#include "testagentmanager.h"
#include "testclient.h"
#include "testpreprocessor.h"
#include "testserver.h"
#include "traceviewer.h"

#include <QTest>

#include <memory>

namespace {

constexpr int Beat = 250;
// Timers may fire late on a loaded machine, never early; what is left is the bus's own delay.
constexpr int Slack = 100;

} // namespace

class PreprocessorHeartbeatTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void withoutAControlProcessTheRestartFails();
    void aStuckAgentIsAbortedRestartedAndDropped();
    void anAgentThatLeavesTheBusIsDropped();
    void anAgentThatARestartBringsBackKeepsItsItems();

private:
    qint64 append();
    // Waits until the items are visible, running a command all the while: the server must answer.
    bool serveUntilVisible(const QList<qint64> &items, int timeoutMs = 20000);
    // The warnings of the chain traced since the start, in order.
    QStringList warningsAbout(const QString &id) const;

    // Declared before the server: the server shuts down when the control service leaves the bus.
    std::unique_ptr<TestAgentManager> m_agentManager;
    TestServer m_server;
    TestClient m_client;
    std::unique_ptr<ChainWatch> m_watch;
    std::unique_ptr<TraceViewer> m_trace;
    qint64 m_collection = -1;
};

void PreprocessorHeartbeatTest::initTestCase()
{
    QVERIFY2(m_server.prepare(), qPrintable(m_server.errorString()));
    m_server.environment().writeServerSettings(QStringLiteral("Debug"), QStringLiteral("Tracer"), QStringLiteral("dbus"));
    m_server.environment().writeServerSettings(QStringLiteral("Debug"), QStringLiteral("PreprocessorHeartbeat"), Beat);
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    QVERIFY(m_server.login(m_client, "res1"));
    m_collection = m_client.create("\"beat\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(m_collection > 0);
    m_watch = std::make_unique<ChainWatch>(m_server, m_client);
    m_trace = std::make_unique<TraceViewer>(m_server.bus().address());
}

void PreprocessorHeartbeatTest::cleanupTestCase()
{
    QCOMPARE(m_server.stop(), 0);
}

qint64 PreprocessorHeartbeatTest::append()
{
    return m_client.tvAppend(m_collection, "(PLD:RFC822 :13)", "Subject: beat");
}

bool PreprocessorHeartbeatTest::serveUntilVisible(const QList<qint64> &items, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            if (m_client.tagged("CAPABILITY") != "OK CAPABILITY completed")
                return true; // fails below
            return std::none_of(items.cbegin(), items.cend(), [this](qint64 item) { return m_watch->isHidden(item); });
        },
        timeoutMs)
           && m_client.tagged("CAPABILITY") == "OK CAPABILITY completed";
}

QStringList PreprocessorHeartbeatTest::warningsAbout(const QString &id) const
{
    QStringList warnings;
    for (const TraceViewer::Event &event : m_trace->events) {
        if (event.kind == QLatin1String("warningEmitted") && event.second.contains(QLatin1Char('\'') + id + QLatin1Char('\'')))
            warnings.append(event.first + QLatin1String(": ") + event.second);
    }
    return warnings;
}

void PreprocessorHeartbeatTest::withoutAControlProcessTheRestartFails()
{
    std::unique_ptr<TestPreprocessor> lonely = m_watch->addPreprocessor(QStringLiteral("lonely"));
    QVERIFY(lonely);
    const qint64 item = append();
    QVERIFY(lonely->waitForJobs(1));
    QVERIFY(serveUntilVisible({item}));
    QVERIFY(!lonely->aborts.isEmpty());
    // The traced warnings come over the bus and may follow the item out.
    QVERIFY(m_trace->waitFor(QStringLiteral("warningEmitted"), QStringLiteral("Preprocessor 'lonely' is broken")));
    // The restart could not be asked for, so the agent is dropped in the restart band already.
    const QStringList warnings = warningsAbout(QStringLiteral("lonely"));
    QCOMPARE(warnings.last(), QStringLiteral("PreprocessorManager: Preprocessor 'lonely' is broken... ignoring it from now on"));
    QVERIFY2(warnings.contains(QStringLiteral("PreprocessorInstance: Could not connect to the AgentManager in order to restart "
                                              "pre-processor instance 'lonely': org.freedesktop.Talvori.Control is not on "
                                              "the bus")),
             qPrintable(warnings.join('\n')));
    QCOMPARE(warnings.count(QStringLiteral("PreprocessorManager: Preprocessor 'lonely' is stuck... trying to restart it")), 1);
}

void PreprocessorHeartbeatTest::aStuckAgentIsAbortedRestartedAndDropped()
{
    m_agentManager = std::make_unique<TestAgentManager>(m_server.bus().address());
    QVERIFY(m_agentManager->join());
    std::unique_ptr<TestPreprocessor> stuck = m_watch->addPreprocessor(QStringLiteral("stuck"));
    QVERIFY(stuck);
    const qint64 item = append();
    const qint64 queued = append();
    QVERIFY(stuck->waitForJobs(1));
    const qint64 start = stuck->jobs.first().atMs;

    QVERIFY(serveUntilVisible({item, queued}));
    const qint64 visible = TestPreprocessor::now();
    QCOMPARE(stuck->jobIds(), QList<qint64>{item});

    QVERIFY(!stuck->aborts.isEmpty());
    QVERIFY2(stuck->aborts.first() - start >= 4 * Beat - Slack, qPrintable(QString::number(stuck->aborts.first() - start)));
    QVERIFY(!m_agentManager->restartRequests.isEmpty());
    const TestAgentManager::Request restart = m_agentManager->restartRequests.first();
    QCOMPARE(restart.id, QStringLiteral("stuck"));
    QVERIFY2(restart.atMs - start >= 6 * Beat - Slack, qPrintable(QString::number(restart.atMs - start)));
    QVERIFY(restart.atMs > stuck->aborts.last());
    QVERIFY2(visible - start >= 8 * Beat - Slack, qPrintable(QString::number(visible - start)));

    QVERIFY(m_trace->waitFor(QStringLiteral("warningEmitted"), QStringLiteral("Preprocessor 'stuck' is broken")));
    const QStringList warnings = warningsAbout(QStringLiteral("stuck"));
    QVERIFY2(!warnings.isEmpty(), "no warnings traced");
    QCOMPARE(warnings.first(), QStringLiteral("PreprocessorManager: Preprocessor 'stuck' seems to be stuck... trying to abort its job."));
    QCOMPARE(warnings.last(), QStringLiteral("PreprocessorManager: Preprocessor 'stuck' is broken... ignoring it from now on"));
    QVERIFY(warnings.contains(QStringLiteral("PreprocessorManager: Preprocessor 'stuck' is stuck... trying to restart it")));

    // Out of the chain: new items are not hidden any more.
    const qint64 after = append();
    QVERIFY(!m_watch->isHidden(after));
}

void PreprocessorHeartbeatTest::anAgentThatLeavesTheBusIsDropped()
{
    std::unique_ptr<TestPreprocessor> leaver = m_watch->addPreprocessor(QStringLiteral("leaver"));
    QVERIFY(leaver);
    const qint64 item = append();
    const qint64 queued = append();
    QVERIFY(leaver->waitForJobs(1));
    // Gone without unregistering, as a crashed agent goes.
    leaver->leave();
    QVERIFY(serveUntilVisible({item, queued}));
    QVERIFY(m_trace->waitFor(QStringLiteral("warningEmitted"), QStringLiteral("Preprocessor 'leaver' has left the bus")));
    QCOMPARE(warningsAbout(QStringLiteral("leaver")),
             QStringList{QStringLiteral("PreprocessorManager: Preprocessor 'leaver' has left the bus... ignoring it from now on")});
}

void PreprocessorHeartbeatTest::anAgentThatARestartBringsBackKeepsItsItems()
{
    std::unique_ptr<TestPreprocessor> restarted = m_watch->addPreprocessor(QStringLiteral("revived"));
    QVERIFY(restarted && m_agentManager);
    // The agent manager restarts it: the process goes, a new one registers and answers.
    m_agentManager->onRestart = [&](const QString &id) {
        if (id != restarted->id())
            return;
        restarted->leave();
        restarted->answerAtOnce = true;
        if (restarted->join())
            restarted->registerWithServer();
    };
    const qint64 item = append();
    QVERIFY(restarted->waitForJobs(1));
    QVERIFY(serveUntilVisible({item}));
    m_agentManager->onRestart = nullptr;
    QCOMPARE(restarted->jobIds(), (QList<qint64>{item, item}));
    QVERIFY(!warningsAbout(QStringLiteral("revived")).join('\n').contains(QLatin1String("broken")));
    // Still in the chain.
    const qint64 next = append();
    QVERIFY(restarted->waitForJobs(3));
    QCOMPARE(restarted->jobs.last().id, next);
    QVERIFY(m_watch->waitUntilVisible({next}));
}

QTEST_GUILESS_MAIN(PreprocessorHeartbeatTest)
#include "tst_preprocessorheartbeat.moc"

// talvori-header-preprocessor against a real server on a private bus: two of them with a test
// peer between them (registered in that order), each new item hidden until all three have passed
// it and then carrying the flags of the rules that matched; items that are gone when an agent
// looks; a server restart; a deliberate quit; General/DisablePreprocessing.

#include "agentprocess.h"
#include "chainwatch.h"
#include "testclient.h"
#include "testpreprocessor.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

#include <memory>

namespace {

const QString Program = QStringLiteral("talvori-header-preprocessor");

} // namespace

class HeaderPreprocessorTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void itemsPassTheAgentsInRegistrationOrder_data();
    void itemsPassTheAgentsInRegistrationOrder();
    void itemsThatAreGoneAreReportedToo();
    void theAgentsComeBackWithTheServer();
    void quitLeavesTheChain();
    void disabledPreprocessingSkipsTheChain();

public Q_SLOTS:
    void reported(qlonglong id) { m_reported.append(id); }

private:
    bool startAgent(std::unique_ptr<AgentProcess> &agent, const QStringList &arguments, const QString &id);
    qint64 append(const QByteArray &message);
    // A call to the agent's interface ("Preprocessor", "Agent.Control") under its name for it.
    QDBusMessage callAgent(const QString &service, const QString &interface, const QString &method,
                           const QVariantList &arguments);

    TestServer m_server;
    TestClient m_client;
    std::unique_ptr<ChainWatch> m_watch;
    std::unique_ptr<AgentProcess> m_lists;
    std::unique_ptr<AgentProcess> m_junk;
    std::unique_ptr<TestPreprocessor> m_between;
    qint64 m_collection = -1;
    QList<qint64> m_reported;
};

bool HeaderPreprocessorTest::startAgent(std::unique_ptr<AgentProcess> &agent, const QStringList &arguments, const QString &id)
{
    agent = std::make_unique<AgentProcess>(m_server.environment(), Program, QStringList{QStringLiteral("--id"), id} + arguments);
    return m_watch->startAgent(*agent, id);
}

void HeaderPreprocessorTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    QVERIFY(m_server.login(m_client, "res1"));
    m_collection = m_client.create("\"mail\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(m_collection > 0);
    m_watch = std::make_unique<ChainWatch>(m_server, m_client);

    QVERIFY(startAgent(m_lists, {QStringLiteral("--flag"), QStringLiteral("$List"), QStringLiteral("--if-header"), QStringLiteral("List-Id")},
                       QStringLiteral("lists")));
    m_between = m_watch->addPreprocessor(QStringLiteral("between"));
    QVERIFY(m_between);
    QVERIFY(startAgent(m_junk, {QStringLiteral("--flag"), QStringLiteral("$Junk"), QStringLiteral("--if-header"), QStringLiteral("X-Spam-Flag: YES")},
                       QStringLiteral("junk")));
}

void HeaderPreprocessorTest::cleanupTestCase()
{
    m_lists.reset();
    m_junk.reset();
    QCOMPARE(m_server.stop(), 0);
}

qint64 HeaderPreprocessorTest::append(const QByteArray &message)
{
    return m_client.tvAppend(m_collection, "(PLD:RFC822 :" + QByteArray::number(message.size()) + ')', message);
}

QDBusMessage HeaderPreprocessorTest::callAgent(const QString &service, const QString &interface, const QString &method,
                                               const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/"), QLatin1String("org.freedesktop.Talvori.") + interface,
                                                       method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

void HeaderPreprocessorTest::itemsPassTheAgentsInRegistrationOrder_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArrayList>("afterFirst");
    QTest::addColumn<QByteArrayList>("atTheEnd");
    QTest::newRow("a list mail marked as spam")
        << QByteArray("From: a@example.org\r\nList-Id: <dev.example.org>\r\nX-Spam-Flag: YES\r\nSubject: offer\r\n\r\nbody\r\n")
        << QByteArrayList{"$List"} << QByteArrayList{"$Junk", "$List"};
    QTest::newRow("spam only") << QByteArray("X-Spam-Flag: YES\r\nSubject: offer\r\n\r\nbody\r\n") << QByteArrayList{}
                               << QByteArrayList{"$Junk"};
    QTest::newRow("a list mail") << QByteArray("List-Id: x\r\n\r\nX-Spam-Flag: YES\r\n") << QByteArrayList{"$List"}
                                 << QByteArrayList{"$List"};
    QTest::newRow("neither") << QByteArray("Subject: hello\r\n\r\nList-Id: in the body\r\n") << QByteArrayList{}
                             << QByteArrayList{};
}

void HeaderPreprocessorTest::itemsPassTheAgentsInRegistrationOrder()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArrayList, afterFirst);
    QFETCH(QByteArrayList, atTheEnd);
    const qsizetype jobs = m_between->jobs.size();
    const qint64 item = append(message);
    QVERIFY(item > 0);
    QVERIFY(m_watch->isHidden(item));

    // The peer in the middle sees what the first agent did, not yet what the last one will do.
    QVERIFY(m_between->waitForJobs(jobs + 1));
    QCOMPARE(m_between->jobs.last().id, item);
    QCOMPARE(m_watch->flags(item), afterFirst);
    QVERIFY(m_watch->isHidden(item));
    m_between->report(item);

    QVERIFY(m_watch->waitUntilVisible({item}));
    QCOMPARE(m_watch->flags(item), atTheEnd);
}

void HeaderPreprocessorTest::itemsThatAreGoneAreReportedToo()
{
    QVERIFY(QDBusConnection::sessionBus().connect(QStringLiteral("org.freedesktop.Talvori.Preprocessor.lists"), QStringLiteral("/"),
                                                  QStringLiteral("org.freedesktop.Talvori.Preprocessor"),
                                                  QStringLiteral("itemProcessed"), this, SLOT(reported(qlonglong))));
    // An item deleted before the agent gets to it: the agent finds nothing and says it is done.
    const QDBusMessage answer = callAgent(QStringLiteral("org.freedesktop.Talvori.Preprocessor.lists"), QStringLiteral("Preprocessor"), QStringLiteral("beginProcessItem"),
                                          {qlonglong(999999), qlonglong(m_collection), QStringLiteral("message/rfc822")});
    QVERIFY2(answer.type() != QDBusMessage::ErrorMessage, qPrintable(answer.errorMessage()));
    QVERIFY(QTest::qWaitFor([&] { return m_reported.contains(999999); }, 10000));

    // And goes on with the next one.
    m_between->answerAtOnce = true;
    const qint64 item = append("List-Id: x\r\n\r\n");
    QVERIFY(m_watch->waitUntilVisible({item}));
    QCOMPARE(m_watch->flags(item), QByteArrayList{"$List"});
}

void HeaderPreprocessorTest::theAgentsComeBackWithTheServer()
{
    m_client.logout();
    QCOMPARE(m_server.stop(), 0);
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
    QVERIFY(m_server.login(m_client, "res1"));
    // Both find the new server by themselves (the test peer does not: it stays out).
    QVERIFY2(m_watch->waitForRegistrations(QStringLiteral("lists")), m_lists->output().constData());
    QVERIFY2(m_watch->waitForRegistrations(QStringLiteral("junk")), m_junk->output().constData());
    const qint64 item = append("List-Id: x\r\nX-Spam-Flag: yes\r\n\r\n");
    QVERIFY(m_watch->isHidden(item));
    QVERIFY(m_watch->waitUntilVisible({item}));
    QCOMPARE(m_watch->flags(item), (QByteArrayList{"$Junk", "$List"}));
}

void HeaderPreprocessorTest::quitLeavesTheChain()
{
    // Asked over the bus to stop for good, it leaves the chain at once.
    const QDBusMessage answer = callAgent(QStringLiteral("org.freedesktop.Talvori.Agent.junk"), QStringLiteral("Agent.Control"), QStringLiteral("quit"), {});
    QVERIFY2(answer.type() == QDBusMessage::ReplyMessage, qPrintable(answer.errorMessage()));
    QVERIFY(m_watch->waitForUnregistrations(QStringLiteral("junk")));
    QVERIFY(QTest::qWaitFor([&] { return !m_junk->isRunning(); }, 10000));
    const qint64 item = append("X-Spam-Flag: YES\r\nList-Id: y\r\n\r\n");
    QVERIFY(m_watch->waitUntilVisible({item}));
    QCOMPARE(m_watch->flags(item), QByteArrayList{"$List"});
}

void HeaderPreprocessorTest::disabledPreprocessingSkipsTheChain()
{
    m_client.logout();
    QCOMPARE(m_server.stop(), 0);
    m_server.environment().writeServerSettings(QStringLiteral("General"), QStringLiteral("DisablePreprocessing"), true);
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
    QVERIFY(m_server.login(m_client, "res1"));
    QVERIFY(m_watch->waitForRegistrations(QStringLiteral("lists")));
    const qint64 item = append("List-Id: x\r\n\r\n");
    QVERIFY(!m_watch->isHidden(item));
    QTest::qWait(500);
    QVERIFY(m_watch->flags(item).isEmpty());
}

QTEST_GUILESS_MAIN(HeaderPreprocessorTest)
#include "tst_headerpreprocessor.moc"

// Four clients append 1,000 messages each at once through a chain of two talvori-header-preprocessor
// agents, and the second agent is killed and started again on the way (as an agent manager
// restarts one). At the end no item is hidden, every item has exactly the flags its header calls
// for, and each came out of hiding exactly once (one change of its hidden part announced).

#include "agentprocess.h"
#include "chainwatch.h"
#include "notifylistener.h"
#include "testclient.h"
#include "testserver.h"

#include <QHash>
#include <QSqlQuery>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

constexpr int Clients = 4;
constexpr int ItemsPerClient = 1000;
// The second agent is restarted once this many items have been appended in all.
constexpr int RestartAfter = 1500;

const QString Program = QStringLiteral("talvori-header-preprocessor");
const QStringList ListRule{QStringLiteral("--id"), QStringLiteral("lists"), QStringLiteral("--flag"), QStringLiteral("$List"),
                           QStringLiteral("--if-header"), QStringLiteral("List-Id")};
const QStringList JunkRule{QStringLiteral("--id"), QStringLiteral("junk"), QStringLiteral("--flag"), QStringLiteral("$Junk"),
                           QStringLiteral("--if-header"), QStringLiteral("X-Spam-Flag: YES")};

// Message i of a client, and the flags the two rules give it.
QByteArray message(int client, int i)
{
    QByteArray text = "From: client" + QByteArray::number(client) + "@example.org\r\nSubject: message " + QByteArray::number(i)
                      + "\r\n";
    if (i % 2 == 0)
        text += "List-Id: <list" + QByteArray::number(client) + ".example.org>\r\n";
    if (i % 3 == 0)
        text += "X-Spam-Flag: YES\r\n";
    return text + "\r\n" + QByteArray(200, 'x') + "\r\n";
}

QByteArrayList expectedFlags(int i)
{
    QByteArrayList flags;
    if (i % 3 == 0)
        flags.append("$Junk");
    if (i % 2 == 0)
        flags.append("$List");
    return flags;
}

} // namespace

class PreprocessorStressTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void fourClientsThroughTwoAgentsOneRestarted();

private:
    qint64 hiddenParts();

    TestServer m_server;
    TestClient m_client;
    std::unique_ptr<ChainWatch> m_watch;
    std::unique_ptr<NotifyListener> m_listener;
    std::unique_ptr<AgentProcess> m_lists;
    std::unique_ptr<AgentProcess> m_junk;
};

void PreprocessorStressTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    QVERIFY(m_server.login(m_client, "res1"));
    m_watch = std::make_unique<ChainWatch>(m_server, m_client);
    m_listener = std::make_unique<NotifyListener>(m_server.bus().address());
    m_lists = std::make_unique<AgentProcess>(m_server.environment(), Program, ListRule);
    QVERIFY(m_watch->startAgent(*m_lists, QStringLiteral("lists")));
    m_junk = std::make_unique<AgentProcess>(m_server.environment(), Program, JunkRule);
    QVERIFY(m_watch->startAgent(*m_junk, QStringLiteral("junk")));
}

void PreprocessorStressTest::cleanupTestCase()
{
    m_lists.reset();
    m_junk.reset();
    QCOMPARE(m_server.stop(), 0);
}

qint64 PreprocessorStressTest::hiddenParts()
{
    QSqlDatabase database = m_server.addDatabaseConnection(QStringLiteral("stress"));
    qint64 count = -1;
    if (database.open()) {
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("SELECT COUNT(*) FROM PartTable WHERE name = 'ATR:HIDDEN'")) && query.next())
            count = query.value(0).toLongLong();
    }
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("stress"));
    return count;
}

void PreprocessorStressTest::fourClientsThroughTwoAgentsOneRestarted()
{
    struct Work {
        QList<qint64> items; // index: message number
        QByteArray error;
    };
    QList<Work> work(Clients);
    std::atomic<int> appended = 0;
    std::atomic<int> finished = 0;
    std::vector<std::thread> threads;
    const QString socket = m_server.socketPath();
    for (int c = 0; c < Clients; ++c) {
        threads.emplace_back([&, c] {
            Work &mine = work[c];
            TestClient client;
            qint64 collection = -1;
            if (client.open(socket) && client.login("res1"))
                collection = client.create("\"stress" + QByteArray::number(c) + "\" 0 (MIMETYPE (message/rfc822))");
            for (int i = 0; collection > 0 && i < ItemsPerClient; ++i) {
                const QByteArray data = message(c, i);
                const qint64 id = client.tvAppend(collection, "(PLD:RFC822 :" + QByteArray::number(data.size()) + ')', data);
                if (id <= 0)
                    break;
                mine.items.append(id);
                ++appended;
            }
            if (mine.items.size() != ItemsPerClient)
                mine.error = client.lastFailure();
            client.logout();
            ++finished;
        });
    }

    // Killed in the middle of its work and started again: it has to get its head item back.
    QVERIFY(QTest::qWaitFor([&] { return appended >= RestartAfter || finished == Clients; }, 300000));
    m_junk->kill();
    m_junk = std::make_unique<AgentProcess>(m_server.environment(), Program, JunkRule);
    QVERIFY(m_watch->startAgent(*m_junk, QStringLiteral("junk")));
    // Taken back in its old place, not appended to the chain anew.
    QVERIFY(m_server.output().contains("Reconnected preprocessor instance junk\n"));

    QVERIFY(QTest::qWaitFor([&] { return finished == Clients; }, 600000));
    for (std::thread &thread : threads)
        thread.join();
    for (const Work &mine : std::as_const(work))
        QVERIFY2(mine.error.isEmpty(), mine.error.constData());

    QVERIFY(QTest::qWaitFor([&] { return hiddenParts() == 0; }, 300000));
    const QList<NotificationMessage::List> notifications = m_listener->settle(1000);

    QHash<qint64, QByteArrayList> expected;
    for (int c = 0; c < Clients; ++c) {
        for (int i = 0; i < ItemsPerClient; ++i)
            expected.insert(work.at(c).items.at(i), expectedFlags(i));
    }
    QHash<qint64, QByteArrayList> actual;
    QVERIFY(m_client.runStreaming("UID FETCH 1:* (FLAGS)", [&](QByteArrayView line) {
        const QByteArray text = line.toByteArray();
        const qsizetype open = text.indexOf(" FLAGS (");
        const qsizetype close = text.indexOf(')', open);
        QByteArrayList flags = text.mid(open + 8, close - open - 8).split(' ');
        flags.removeAll(QByteArray());
        std::sort(flags.begin(), flags.end());
        actual.insert(text.mid(2, text.indexOf(' ', 2) - 2).toLongLong(), flags);
    }));
    QCOMPARE(actual.size(), expected.size());
    int wrong = 0;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (actual.value(it.key()) != it.value() && ++wrong <= 5)
            qWarning() << "item" << it.key() << "has" << actual.value(it.key()) << "instead of" << it.value();
    }
    QCOMPARE(wrong, 0);

    QHash<qint64, int> unhidden;
    for (const NotificationMessage::List &batch : notifications) {
        for (const NotificationMessage &message : batch) {
            if (message.operation() == NotificationMessage::Modify && message.itemParts().contains("ATR:HIDDEN"))
                ++unhidden[message.uid()];
        }
    }
    int notOnce = 0;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (unhidden.value(it.key()) != 1 && ++notOnce <= 5)
            qWarning() << "item" << it.key() << "came out of hiding" << unhidden.value(it.key()) << "times";
    }
    QCOMPARE(notOnce, 0);
}

QTEST_GUILESS_MAIN(PreprocessorStressTest)
#include "tst_preprocessorstress.moc"

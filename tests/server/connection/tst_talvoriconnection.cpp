// Client sessions against the real server process: greeting, dispatch by connection state,
// literals, failures that leave the session usable, and who may connect at all.

#include "testclient.h"
#include "testserver.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>
#include <QThread>

class TalvoriConnectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void greeting();
    void dispatch_data();
    void dispatch();
    void logoutClosesTheSession();
    void clientsThatWriteAtOnce_data();
    void clientsThatWriteAtOnce();
    void inputPastItsBounds_data();
    void inputPastItsBounds();
    void socketIsReachableByItsOwnerOnly();

private:
    // The server's peak resident memory so far, in bytes.
    qint64 serverMemory();

    TestServer m_server;
};

void TalvoriConnectionTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
}

void TalvoriConnectionTest::cleanupTestCase()
{
    QCOMPARE(m_server.stop(), 0);
}

void TalvoriConnectionTest::greeting()
{
    TestClient client;
    QVERIFY(client.connectToServer(m_server.socketPath()));
    QByteArray received;
    while (!received.endsWith("\r\n") && client.socket()->waitForReadyRead(5000))
        received += client.socket()->readAll();
    QCOMPARE(received, QByteArray("* OK Talvori Almost IMAP Server [PROTOCOL 26]\r\n"));
}

void TalvoriConnectionTest::dispatch_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray capability = "* CAPABILITY IMAP4 IMAP4rev1\n";
    const QList<std::tuple<const char *, QByteArray, QByteArray>> cases = {
        {"tag without command", "a1\r\n", "a1 BAD No command specified"},
        {"lower-case login before LOGIN", "a1 login me\r\n", "a1 BAD Unrecognized command: login"},
        {"empty session id keeps the session unauthenticated", "a1 LOGIN \"\"\r\na2 SELECT INBOX\r\n",
         "a1 NO Missing session identifier.\na2 BAD Unrecognized command: SELECT"},
        {"second LOGIN", "a1 LOGIN me\r\na2 LOGIN me\r\n", "a1 OK User logged in\na2 BAD Unrecognized command: LOGIN"},
        {"scope word before an unknown command", "a1 LOGIN me\r\na2 UID BOGUS 1:*\r\n",
         "a1 OK User logged in\na2 BAD Unrecognized command: UID"},
        {"CAPABILITY before LOGIN", "a1 CAPABILITY\r\n", capability + "a1 OK CAPABILITY completed"},
        {"CAPABILITY after LOGIN", "a1 LOGIN me\r\na2 CAPABILITY\r\n",
         "a1 OK User logged in\n" + capability + "a2 OK CAPABILITY completed"},
        {"two commands in one write and an empty line", "a1 CAPABILITY\r\n\r\na2 LOGIN me\r\n",
         capability + "a1 OK CAPABILITY completed\na2 OK User logged in"},
        {"LOGIN with a literal", "a1 LOGIN {2}\r\nme\r\n",
         "+ Ready for literal data (expecting 2 bytes)\na1 OK User logged in"},
        {"parser failure, then the next command", "a1 LOGIN \"m\\te\"\r\na2 CAPABILITY\r\n",
         "a1 NO ImapParserException: Unexpected '\\' in quoted string\n" + capability + "a2 OK CAPABILITY completed"},
        {"negative literal size", "a1 LOGIN {-1}\r\na2 CAPABILITY\r\n",
         "a1 NO ImapParserException: Invalid literal size: -1\n" + capability + "a2 OK CAPABILITY completed"},
        {"unknown command with a literal", "a1 FOO {3}\r\nabc bar\r\na2 CAPABILITY\r\n",
         "+ Ready for literal data (expecting 3 bytes)\na1 BAD Unrecognized command: FOO\n" + capability
             + "a2 OK CAPABILITY completed"},
        {"commands of later states are unknown before LOGIN", "a1 FETCH 1:* FLAGS\r\n",
         "a1 BAD Unrecognized command: FETCH"},
        // Each of these kept the connection's thread spinning for ever.
        {"list that ends with its line", "a1 LOGIN me\r\na2 LIST 0 INF (MIMETYPE (a)\r\n",
         "a1 OK User logged in\na2 NO ImapParserException: Unterminated list"},
        {"parenthesis where a list holds strings", "a1 LOGIN me\r\na2 LIST 0 INF ((x))\r\n",
         "a1 OK User logged in\na2 NO ImapParserException: Unexpected token in list"},
        {"remote ids that end with their line", "a1 LOGIN me\r\na2 RID FETCH (a b\r\n",
         "a1 OK User logged in\na2 NO ImapParserException: Unterminated list"},
    };
    for (const auto &[name, input, expected] : cases)
        for (const char *mode : {"whole", "trickle"})
            QTest::newRow(QByteArray(name) + " (" + mode + ')') << input << expected;
}

void TalvoriConnectionTest::dispatch()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);

    TestClient client;
    QVERIFY(m_server.connect(client));
    // A final CAPABILITY marks the end of the answers to the case's commands.
    const QByteArray all = input + "zz CAPABILITY\r\n";
    if (QByteArray(QTest::currentDataTag()).endsWith("(trickle)")) {
        for (const char byte : all) {
            client.send(QByteArray(1, byte));
            QThread::usleep(100);
        }
    } else {
        client.send(all);
    }
    QList<QByteArray> lines = client.readUntilTagged("zz", 10000);
    QCOMPARE(lines.value(lines.size() - 1), QByteArray("zz OK CAPABILITY completed"));
    lines = lines.mid(0, lines.size() - 2);
    QCOMPARE(lines.join('\n'), expected);
}

void TalvoriConnectionTest::logoutClosesTheSession()
{
    TestClient client;
    QVERIFY(m_server.connect(client));
    client.send("a1 LOGIN me\r\na2 LOGOUT\r\n");
    QCOMPARE(client.readUntilTagged("a2"),
             (QList<QByteArray>{"a1 OK User logged in", "* Talvori server logging out", "a2 OK Logout completed"}));
    QVERIFY(client.socket()->state() == QLocalSocket::UnconnectedState || client.socket()->waitForDisconnected(5000));
}

void TalvoriConnectionTest::clientsThatWriteAtOnce_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("tag alone") << QByteArray("a\r\n") << QByteArray("a BAD No command specified");
    QTest::newRow("empty line") << QByteArray("\r\n") << QByteArray();
    QTest::newRow("command") << QByteArray("a1 CAPABILITY\r\n")
                             << QByteArray("* CAPABILITY IMAP4 IMAP4rev1\na1 OK CAPABILITY completed");
}

// Clients that do not wait for the greeting: each writes before, while or after the greeting
// arrives, several at a time, and every one gets the greeting first and then its answers.
void TalvoriConnectionTest::clientsThatWriteAtOnce()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    const QByteArray greeting = "* OK Talvori Almost IMAP Server [PROTOCOL 26]";
    const QByteArray all = input + "zz CAPABILITY\r\n";
    constexpr int Rounds = 42;
    constexpr int AtOnce = 8;

    for (int round = 0; round < Rounds; ++round) {
        std::vector<std::unique_ptr<ProtocolClient>> clients;
        for (int i = 0; i < AtOnce; ++i) {
            auto client = std::make_unique<ProtocolClient>();
            QVERIFY(client->connectToServer(m_server.socketPath()));
            // Before the greeting, as soon as part of it is there, or once it is whole.
            switch ((round + i) % 3) {
            case 0:
                break;
            case 1:
                client->socket()->waitForReadyRead(5000);
                break;
            case 2:
                while (!client->socket()->canReadLine() && client->socket()->waitForReadyRead(5000)) {
                }
                break;
            }
            client->send(all);
            clients.push_back(std::move(client));
        }
        for (auto &client : clients) {
            QList<QByteArray> lines = client->readUntilTagged("zz", 10000);
            QVERIFY2(lines.size() >= 3, lines.join('\n').constData());
            QCOMPARE(lines.first(), greeting);
            QCOMPARE(lines.last(), QByteArray("zz OK CAPABILITY completed"));
            QCOMPARE(lines.mid(1, lines.size() - 3).join('\n'), expected);
        }
    }
    QCOMPARE(m_server.process().state(), QProcess::Running);
}

qint64 TalvoriConnectionTest::serverMemory()
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_server.process().processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

void TalvoriConnectionTest::inputPastItsBounds_data()
{
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<QByteArray>("command"); // sent after the tag, then streamed filler if any
    QTest::addColumn<QByteArray>("filler");  // 64 MiB of it, without a line end
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("literal of 2^40 bytes before LOGIN")
        << false << QByteArray("LOGIN {1099511627776}\r\n") << QByteArray()
        << QByteArray("NO ImapParserException: Literal of 1099511627776 bytes is larger than the limit of 4096 bytes")
        << false;
    QTest::newRow("literal of 2^40 bytes")
        << true << QByteArray("APPEND 1 5 {1099511627776}\r\n") << QByteArray()
        << QByteArray("NO ImapParserException: Literal of 1099511627776 bytes is larger than the limit of 4294967296 bytes")
        << false;
    QTest::newRow("literal size beyond 64 bits")
        << true << QByteArray("APPEND 1 5 {99999999999999999999}\r\n") << QByteArray()
        << QByteArray("NO ImapParserException: Invalid literal size: 99999999999999999999") << false;
    QTest::newRow("64 MiB line before LOGIN")
        << false << QByteArray("LOGIN ") << QByteArray("a")
        << QByteArray("NO ImapParserException: Command text is longer than the limit of 65536 bytes") << true;
    QTest::newRow("64 MiB line")
        << true << QByteArray("FETCH 1:* (") << QByteArray("a")
        << QByteArray("NO ImapParserException: Command text is longer than the limit of 4194304 bytes") << true;
    QTest::newRow("list nested 100,000 deep")
        << true << QByteArray("FETCH 1:* ") + QByteArray(100000, '(') + QByteArray(100000, ')') + "\r\n" << QByteArray()
        << QByteArray("NO ImapParserException: List nested deeper than the limit of 64 levels") << false;
}

// What a client cannot make the server hold: each bound answers the command with a tagged NO, and
// either the session goes on or, where the rest of the stream cannot be told from the command, it
// is closed after the answer. The server's memory stays near what it was.
void TalvoriConnectionTest::inputPastItsBounds()
{
    QFETCH(bool, loggedIn);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, filler);
    QFETCH(QByteArray, answer);
    QFETCH(bool, closes);

    const qint64 before = serverMemory();
    TestClient client;
    QVERIFY(m_server.connect(client));
    if (loggedIn) {
        client.send("a0 LOGIN bounds\r\n");
        QCOMPARE(client.readUntilTagged("a0").value(0), QByteArray("a0 OK User logged in"));
    }
    client.send("a1 " + command);
    QLocalSocket *socket = client.socket();
    if (!filler.isEmpty()) {
        const QByteArray chunk = filler.repeated((1 << 20) / filler.size());
        for (int i = 0; i < 64 && socket->state() == QLocalSocket::ConnectedState && !socket->canReadLine(); ++i) {
            socket->write(chunk);
            while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(2000)) {
            }
            socket->waitForReadyRead(10);
        }
    }
    const QList<QByteArray> lines = client.readUntilTagged("a1", 20000);
    QVERIFY2(!lines.isEmpty(), qPrintable(socket->errorString()));
    QCOMPARE(lines.value(lines.size() - 1), "a1 " + answer);

    if (closes) {
        QVERIFY(socket->state() == QLocalSocket::UnconnectedState || socket->waitForDisconnected(10000));
    } else {
        client.send("a2 CAPABILITY\r\n");
        QCOMPARE(client.readUntilTagged("a2").value(1), QByteArray("a2 OK CAPABILITY completed"));
    }
    const qint64 after = serverMemory();
    qInfo("server's peak memory: %lld KiB before, %lld KiB after", before / 1024, after / 1024);
    QCOMPARE(m_server.process().state(), QProcess::Running);
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer's shadow memory multiplies every byte the server touches.
    QSKIP("the memory bound does not hold under ThreadSanitizer");
#endif
    QVERIFY2(after - before < 16 << 20, QByteArray::number(after - before).constData());
}

void TalvoriConnectionTest::socketIsReachableByItsOwnerOnly()
{
    const QFileInfo socket(m_server.socketPath());
    QVERIFY(socket.exists());
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(socket.permissions() & others, QFile::Permissions());

    const QSettings connection(m_server.environment().configHome() + QLatin1String("/talvori/talvoriconnectionrc"),
                               QSettings::IniFormat);
    QCOMPARE(connection.value(QStringLiteral("Data/Method")).toString(), QStringLiteral("NamedPipe"));
    QCOMPARE(connection.value(QStringLiteral("Data/NamedPipe")).toString(), m_server.socketPath());
    QCOMPARE(m_server.socketPath(), m_server.environment().runtimeDir() + QLatin1String("/talvori/Talvori"));
}

QTEST_GUILESS_MAIN(TalvoriConnectionTest)
#include "tst_talvoriconnection.moc"

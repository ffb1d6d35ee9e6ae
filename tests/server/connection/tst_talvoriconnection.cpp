// Client sessions against the real server process: greeting, dispatch by connection state,
// literals, failures that leave the session usable, and who may connect at all.

#include "testclient.h"
#include "testserver.h"

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
    void socketIsReachableByItsOwnerOnly();

private:
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
    QCOMPARE(connection.value(QStringLiteral("Data/NamedPipe")).toString(), QStringLiteral("Talvori"));
}

QTEST_GUILESS_MAIN(TalvoriConnectionTest)
#include "tst_talvoriconnection.moc"

// However a shut-down is asked for, it ends within a few seconds whatever the clients do: one that
// never reads the answer of a 50 MB FETCH, one that stops in the middle of a literal, one that
// leaves a transaction open. What the open transaction wrote is not kept.

#include "testclient.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTest>

#include <csignal>

namespace {
const QString Control = QStringLiteral("org.freedesktop.Talvori.Control");
constexpr int StopWithinMs = 5000;
}

class ShutdownTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void endsWhateverClientsDo_data();
    void endsWhateverClientsDo();

private:
    TempEnvironment m_busHome;
    TestBus m_bus;
};

void ShutdownTest::initTestCase()
{
    QVERIFY(m_busHome.isValid());
    QVERIFY(m_bus.start(m_busHome.path()));
}

void ShutdownTest::endsWhateverClientsDo_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("SIGTERM") << QStringLiteral("SIGTERM");
    QTest::newRow("quit over the bus") << QStringLiteral("quit");
    QTest::newRow("control process leaving") << QStringLiteral("control");
}

void ShutdownTest::endsWhateverClientsDo()
{
    QFETCH(QString, how);
    QDBusConnection control = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("control-") + how);
    QVERIFY(control.isConnected());
    QCOMPARE(control.interface()->registerService(Control).value(), QDBusConnectionInterface::ServiceRegistered);

    TestServer server(m_bus);
    TALVORI_VERIFY_STARTED(server, server.start({QStringLiteral("res1")}));
    TestClient setup;
    QVERIFY(server.login(setup, "res1"));
    const qint64 collection = setup.create("\"Inbox\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(collection > 0);
    const QByteArray big(50 << 20, 'b');
    const qint64 item = setup.tvAppend(collection, "(PLD:RFC822 :" + QByteArray::number(big.size()) + ")", big);
    QVERIFY(item > 0);

    TestClient notReading;
    QVERIFY(server.login(notReading, "res1"));
    notReading.socket()->setReadBufferSize(64 * 1024);
    notReading.send("t1 UID FETCH " + QByteArray::number(item) + " (PLD:RFC822)\r\n");

    TestClient halfLiteral;
    QVERIFY(server.login(halfLiteral, "res1"));
    halfLiteral.send("t1 UID STORE " + QByteArray::number(item) + " (PLD:RFC822 {1000}\r\n");
    QVERIFY(halfLiteral.readLine().startsWith("+ "));
    halfLiteral.send(QByteArray(10, 'h'));

    TestClient inTransaction;
    QVERIFY(server.login(inTransaction, "res1"));
    QVERIFY(inTransaction.runOk("BEGIN"));
    const qint64 uncommitted = inTransaction.tvAppend(collection, "(PLD:RFC822 :4)", "lost");
    QVERIFY(uncommitted > 0);

    // Give the FETCH time to fill the socket, so that the server really waits for its reader.
    QTest::qWait(500);

    QElapsedTimer timer;
    timer.start();
    if (how == QLatin1String("SIGTERM")) {
        ::kill(pid_t(server.process().processId()), SIGTERM);
    } else if (how == QLatin1String("quit")) {
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/Server"), QStringLiteral("org.freedesktop.Talvori.Server"),
            QStringLiteral("quit"));
        QVERIFY(control.send(call));
    } else {
        QVERIFY(control.interface()->unregisterService(Control).value());
    }
    QVERIFY2(server.process().waitForFinished(StopWithinMs), server.output().right(2000).constData());
    qInfo() << "stopped in" << timer.elapsed() << "ms";
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);
    control.interface()->unregisterService(Control);

    // The next start has the committed item whole and nothing of the open transaction.
    setup.disconnectFromServer();
    TALVORI_VERIFY_STARTED(server, server.start({QStringLiteral("res1")}));
    QVERIFY(server.login(setup, "res1"));
    QList<QByteArray> lines;
    QVERIFY(setup.runOk("UID FETCH " + QByteArray::number(item) + " (PLD:RFC822)", &lines));
    QVERIFY(lines.first().contains("{" + QByteArray::number(big.size()) + "}\r\n" + big.left(100)));
    QVERIFY(setup.runOk("UID FETCH " + QByteArray::number(uncommitted) + " (REV)", &lines));
    QCOMPARE(lines.size(), 1);
    setup.disconnectFromServer();
    QCOMPARE(server.stop(), 0);
}

QTEST_GUILESS_MAIN(ShutdownTest)
#include "tst_shutdown.moc"

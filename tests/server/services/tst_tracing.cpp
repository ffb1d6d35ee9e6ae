// Tracing end to end: the back-end chosen over "/debug" sees a client session's lines, keeps its
// choice across a restart, cuts texts that are too large, hears the server's traced errors, and
// the file back-end writes the same events to its file.

#include "testclient.h"
#include "testserver.h"
#include "traceviewer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTest>

using Event = TraceViewer::Event;

class TracingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void busBackendSeesTheSession();
    void choiceSurvivesARestart();
    void largeTextsAreCut();
    void serverErrorsAreTraced();
    void fileBackendWritesItsFile();
    void nullBackendIsQuiet();

private:
    QVariant callDebug(const QString &method, const QVariantList &arguments = {});
    // A session of four commands; the greeting and each answer are traced.
    void runSession(const QByteArray &session);

    TestServer m_server;
};

void TracingTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
}

void TracingTest::cleanupTestCase()
{
    QCOMPARE(m_server.stop(), 0);
}

QVariant TracingTest::callDebug(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/debug"),
                                                       QStringLiteral("org.freedesktop.Talvori.DebugInterface"), method);
    call.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0, QStringLiteral("<no result>"))
                                                      : QVariant();
}

void TracingTest::runSession(const QByteArray &session)
{
    TestClient client;
    QVERIFY(m_server.login(client, session));
    client.send("a2 CAPABILITY\r\n");
    QCOMPARE(client.readUntilTagged("a2").value(1), QByteArray("a2 OK CAPABILITY completed"));
    client.send("a3 LOGOUT\r\n");
    client.readUntilTagged("a3");
}

void TracingTest::busBackendSeesTheSession()
{
    TraceViewer viewer(m_server.bus().address());
    QVERIFY(callDebug(QStringLiteral("setTracer"), {QStringLiteral("dbus")}).isValid());
    QCOMPARE(callDebug(QStringLiteral("tracer")).toString(), QStringLiteral("dbus"));

    runSession("traced");
    QVERIFY(viewer.waitFor(QStringLiteral("connectionDataOutput"), QStringLiteral("a3 OK Logout completed")));
    const qsizetype greeting =
        viewer.indexOf(QStringLiteral("connectionDataOutput"), QStringLiteral("* OK Talvori Almost IMAP Server [PROTOCOL 26]\r\n"));
    const qsizetype login = viewer.indexOf(QStringLiteral("connectionDataInput"), QStringLiteral("t1 LOGIN traced"));
    const qsizetype started = viewer.indexOf(QStringLiteral("connectionStarted"), QString());
    const qsizetype capability = viewer.indexOf(QStringLiteral("connectionDataInput"), QStringLiteral("a2 CAPABILITY"));
    const qsizetype answer = viewer.indexOf(QStringLiteral("connectionDataOutput"), QStringLiteral("a2 OK CAPABILITY completed\r\n"));
    QString seen;
    for (const Event &event : std::as_const(viewer.events))
        seen += event.kind + QLatin1Char(' ') + event.first + QLatin1Char(' ') + event.second.left(60) + QLatin1Char('\n');
    QVERIFY2(greeting >= 0 && login > greeting && started > login && capability > started && answer > capability,
             qPrintable(seen));
    // The session is named by its id once it has logged in.
    QVERIFY2(viewer.events.at(started).first.startsWith(QLatin1String("traced (")), qPrintable(viewer.events.at(started).first));
    QCOMPARE(viewer.events.at(capability).first, viewer.events.at(started).first);
    QVERIFY(viewer.waitFor(QStringLiteral("connectionEnded"), QString()));
}

void TracingTest::choiceSurvivesARestart()
{
    QCOMPARE(m_server.stop(), 0);
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QCOMPARE(callDebug(QStringLiteral("tracer")).toString(), QStringLiteral("dbus"));
    TraceViewer viewer(m_server.bus().address());
    runSession("after-restart");
    QVERIFY(viewer.waitFor(QStringLiteral("connectionDataInput"), QStringLiteral("a2 CAPABILITY")));
}

void TracingTest::largeTextsAreCut()
{
    TraceViewer viewer(m_server.bus().address());
    TestClient client;
    QVERIFY(m_server.login(client, "large"));
    // An unknown command reads its whole line; the traced input and answer stay bounded.
    const QByteArray word(300 * 1024, 'w');
    client.send("a2 " + word + "\r\n");
    QCOMPARE(client.readUntilTagged("a2").value(0), "a2 BAD Unrecognized command: " + word);
    QVERIFY(viewer.waitFor(QStringLiteral("connectionDataOutput"), QStringLiteral("a2 BAD Unrecognized command: www")));
    const Event &output = viewer.events.at(viewer.indexOf(QStringLiteral("connectionDataOutput"), QStringLiteral("a2 BAD")));
    const QString outputNote = QStringLiteral(" [%1 more bytes cut]").arg(word.size() + 31 - 64 * 1024);
    QCOMPARE(output.second.size(), 64 * 1024 + outputNote.size());
    QVERIFY2(output.second.endsWith(outputNote), qPrintable(output.second.right(40)));
    const Event &input = viewer.events.at(viewer.indexOf(QStringLiteral("connectionDataInput"), QStringLiteral("a2 www")));
    QVERIFY(input.second.size() <= 64 * 1024 + 40);
    QVERIFY(input.second.contains(QLatin1String(" more bytes cut]")));

    // A cut through text outside ASCII keeps its characters whole.
    const QByteArray umlauts = QString(100 * 1024, QChar(0xfc)).toUtf8();
    client.send("a4 " + umlauts + "\r\n");
    client.readUntilTagged("a4");
    QVERIFY(viewer.waitFor(QStringLiteral("connectionDataOutput"), QStringLiteral("a4 BAD")));
    const Event &cut = viewer.events.at(viewer.indexOf(QStringLiteral("connectionDataOutput"), QStringLiteral("a4 BAD")));
    QVERIFY(cut.second.contains(QLatin1String(" more bytes cut]")));
    QVERIFY(!cut.second.contains(QChar::ReplacementCharacter));

    // The connection's name carries the session id its client chose; that is bounded too.
    TraceViewer names(m_server.bus().address());
    const QByteArray longSession(50 * 1024, 's');
    TestClient named;
    QVERIFY(m_server.login(named, longSession));
    QVERIFY(names.waitFor(QStringLiteral("connectionStarted"), QString()));
    const Event &begun = names.events.at(names.indexOf(QStringLiteral("connectionStarted"), QString()));
    QVERIFY2(begun.first.size() <= 1024 + 40, QByteArray::number(begun.first.size()).constData());
}

void TracingTest::serverErrorsAreTraced()
{
    TraceViewer viewer(m_server.bus().address());
    for (int i = 0; i < 2; ++i)
        QVERIFY2(m_server.addResource(QStringLiteral("twice")), qPrintable(m_server.errorString()));
    QVERIFY(viewer.waitFor(QStringLiteral("errorEmitted"), QStringLiteral("Resource 'twice' already exists.")));
    QCOMPARE(viewer.events.at(viewer.indexOf(QStringLiteral("errorEmitted"), QStringLiteral("Resource"))).first,
             QStringLiteral("ResourceManager"));
}

void TracingTest::fileBackendWritesItsFile()
{
    const QString traceFile = m_server.environment().dataHome() + QLatin1String("/talvori/talvoriserver.trace");
    QVERIFY(callDebug(QStringLiteral("setTracer"), {QStringLiteral("file")}).isValid());
    runSession("filed");
    // The server goes on with the file back-end, now and after a restart.
    QCOMPARE(m_server.stop(), 0);
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QCOMPARE(callDebug(QStringLiteral("tracer")).toString(), QStringLiteral("file"));
    runSession("filed-again");

    // The session's end is traced when its connection is gone, which may come a moment later.
    QByteArray content;
    QVERIFY(QTest::qWaitFor([&] {
        QFile file(traceFile);
        content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        return content.contains("end_connection") && content.lastIndexOf("end_connection") > content.lastIndexOf("filed-again");
    }, 10000));
    const QList<QByteArray> lines = content.split('\n');
    QStringList session;
    for (const QByteArray &line : lines) {
        if (line.contains("filed-again ("))
            session.append(QString::fromUtf8(line.mid(line.indexOf(' ') + 1)).section(QLatin1String(": "), 1));
    }
    const auto has = [&](const QString &start) {
        return std::any_of(session.cbegin(), session.cend(), [&](const QString &line) { return line.startsWith(start); });
    };
    QVERIFY2(has(QStringLiteral("begin_connection: ")), qPrintable(session.join(QLatin1Char('\n'))));
    QVERIFY(has(QStringLiteral("input: a2 CAPABILITY")));
    QVERIFY(has(QStringLiteral("output: a2 OK CAPABILITY completed\\r\\n")));
    QVERIFY(has(QStringLiteral("end_connection: ")));
    // Every line starts with its time.
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            QVERIFY2(QDateTime::fromString(QString::fromLatin1(line.left(line.indexOf(' '))), Qt::ISODateWithMs).isValid(),
                     line.constData());
    }
}

void TracingTest::nullBackendIsQuiet()
{
    QVERIFY(callDebug(QStringLiteral("setTracer"), {QStringLiteral("null")}).isValid());
    TraceViewer viewer(m_server.bus().address());
    runSession("quiet");
    QTest::qWait(300);
    QVERIFY(viewer.events.isEmpty());
    QCOMPARE(callDebug(QStringLiteral("tracer")).toString(), QStringLiteral("null"));
}

QTEST_GUILESS_MAIN(TracingTest)
#include "tst_tracing.moc"

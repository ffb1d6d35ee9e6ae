// The server process's life on a private session bus: command line, start-up files, shut-down
// over the bus or when the control process leaves, refusal of a second server, error log rotation,
// and the bus objects it exports.

#include "testclient.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QSettings>
#include <QTest>

class TalvoriServerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void startupFilesAndQuitOverTheBus();
    void busObjectsAreIntrospectable();
    void controlProcessLeavingShutsDown();
    void secondServerRefuses();
    void errorLogIsRotatedAtEachStart();

private:
    static QByteArray run(const QString &program, const QStringList &arguments, const TempEnvironment &home,
                          int *exitCode = nullptr);

    // Each test's servers have homes of their own and share this bus.
    TempEnvironment m_busHome;
    TestBus m_bus;
};

void TalvoriServerTest::initTestCase()
{
    QVERIFY(m_busHome.isValid());
    QVERIFY(m_bus.start(m_busHome.path()));
}

QByteArray TalvoriServerTest::run(const QString &program, const QStringList &arguments, const TempEnvironment &home,
                                  int *exitCode)
{
    QProcess process;
    process.setProcessEnvironment(home.environment());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(30000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAll();
}

void TalvoriServerTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QByteArray("Talvori 1.4.3\n");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QByteArray("show this help message");
    QTest::newRow("short help") << QStringList{QStringLiteral("-h")} << 0 << QByteArray("General options");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 1
                                    << QByteArray("Failed to parse command line arguments: unrecognised option "
                                                  "'--bogus'\nRun '");
}

void TalvoriServerTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, expected);
    TestServer server(m_bus);
    TALVORI_VERIFY_STARTED(server, server.prepare());
    int code = -2;
    const QByteArray output
        = run(ServerProcess::executable(QStringLiteral("talvoriserver")), arguments, server.environment(), &code);
    QCOMPARE(code, exitCode);
    QVERIFY2(output.contains(expected), output.constData());
    if (exitCode == 1)
        QVERIFY(output.contains("--help' to obtain a list of valid command line arguments.\n"));
}

void TalvoriServerTest::startupFilesAndQuitOverTheBus()
{
    TestServer server(m_bus);
    TALVORI_VERIFY_STARTED(server, server.start());

    const QString connectionFile = server.environment().configHome() + QLatin1String("/talvori/talvoriconnectionrc");
    const QString serverFile = server.environment().serverSettingsFile();
    {
        const QSettings connection(connectionFile, QSettings::IniFormat);
        QCOMPARE(connection.value(QStringLiteral("Data/Method")).toString(), QStringLiteral("NamedPipe"));
        QCOMPARE(connection.value(QStringLiteral("Data/NamedPipe")).toString(),
                 server.environment().runtimeDir() + QLatin1String("/talvori/Talvori"));
        QCOMPARE(connection.value(QStringLiteral("DBUS/Address")).toString(), m_bus.address());
    }
    QFile settingsFile(serverFile);
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    const QByteArray settingsWhileRunning = settingsFile.readAll();
    settingsFile.close();

    // The bus call returns before the shut-down runs, so dbus-send gets its (empty) reply.
    int code = -2;
    const QByteArray reply = run(QStringLiteral("dbus-send"),
                                 {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                                  QStringLiteral("--dest=org.freedesktop.Talvori"), QStringLiteral("/Server"),
                                  QStringLiteral("org.freedesktop.Talvori.Server.quit")},
                                 server.environment(), &code);
    QVERIFY2(code == 0, reply.constData());
    QVERIFY(server.process().waitForFinished(20000));
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);

    QVERIFY(!QFile::exists(connectionFile));
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    QCOMPARE(settingsFile.readAll(), settingsWhileRunning);

    // After the shut-down nobody answers on the socket any more.
    TestClient client;
    bool greeted = false;
    if (client.connectToServer(server.socketPath(), 1000))
        greeted = !client.readLine(nullptr, 1000).isEmpty();
    QVERIFY(!greeted);
}

void TalvoriServerTest::busObjectsAreIntrospectable()
{
    TestServer server(m_bus);
    TALVORI_VERIFY_STARTED(server, server.start());

    const QList<std::pair<QString, QList<QByteArray>>> objects = {
        {QStringLiteral("/Server"), {"interface name=\"org.freedesktop.Talvori.Server\"", "method name=\"quit\""}},
        {QStringLiteral("/notifications"),
         {"interface name=\"org.freedesktop.Talvori.NotificationManager\"", "signal name=\"notify\"",
          "name=\"message\"", "type=\"a(ayiixsayxxsas)\"", "com.trolltech.QtDBus.QtTypeName.Out0"}},
        {QStringLiteral("/notifications/debug"), {"method name=\"emitPendingNotifications\""}},
        {QStringLiteral("/ResourceManager"),
         {"interface name=\"org.freedesktop.Talvori.ResourceManager\"", "method name=\"addResourceInstance\"",
          "name=\"identifier\"", "name=\"capabilities\"", "type=\"as\"",
          "method name=\"removeResourceInstance\""}},
    };
    for (const auto &[path, fragments] : objects) {
        int code = -2;
        const QByteArray xml = run(QStringLiteral("dbus-send"),
                                   {QStringLiteral("--session"), QStringLiteral("--print-reply=literal"),
                                    QStringLiteral("--dest=org.freedesktop.Talvori"), path,
                                    QStringLiteral("org.freedesktop.DBus.Introspectable.Introspect")},
                                   server.environment(), &code);
        QCOMPARE(code, 0);
        for (const QByteArray &fragment : fragments)
            QVERIFY2(xml.contains(fragment), (path.toUtf8() + " lacks " + fragment + ":\n" + xml).constData());
    }
    QCOMPARE(server.stop(), 0);
}

void TalvoriServerTest::controlProcessLeavingShutsDown()
{
    // Two stand-ins for the control process, each on its own bus connection.
    QDBusConnection first = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("control-1"));
    QDBusConnection second = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("control-2"));
    const QString control = QStringLiteral("org.freedesktop.Talvori.Control");
    QCOMPARE(first.interface()->registerService(control, QDBusConnectionInterface::DontQueueService,
                                                QDBusConnectionInterface::AllowReplacement)
                 .value(),
             QDBusConnectionInterface::ServiceRegistered);

    TestServer server(m_bus);
    TALVORI_VERIFY_STARTED(server, server.start());

    // A new owner taking over is no reason to stop.
    QCOMPARE(second.interface()->registerService(control, QDBusConnectionInterface::ReplaceExistingService,
                                                 QDBusConnectionInterface::AllowReplacement)
                 .value(),
             QDBusConnectionInterface::ServiceRegistered);
    QVERIFY(!server.process().waitForFinished(1000));

    // The service leaving the bus is.
    QVERIFY(second.interface()->unregisterService(control).value());
    QVERIFY(server.process().waitForFinished(20000));
    QCOMPARE(server.process().exitCode(), 0);
    QVERIFY(server.output().contains("Control process died, committing suicide!"));
}

void TalvoriServerTest::secondServerRefuses()
{
    TestServer first(m_bus);
    TALVORI_VERIFY_STARTED(first, first.start());

    int code = -2;
    const QByteArray output
        = run(ServerProcess::executable(QStringLiteral("talvoriserver")), {}, first.environment(), &code);
    QVERIFY2(code != 0, output.constData());
    QVERIFY2(output.contains("another server is already running"), output.constData());

    // The first one still greets and answers.
    TestClient client;
    QVERIFY(first.connect(client));
    QVERIFY(client.runOk("CAPABILITY"));
    QCOMPARE(first.stop(), 0);
}

void TalvoriServerTest::errorLogIsRotatedAtEachStart()
{
    TestServer server(m_bus);
    TALVORI_VERIFY_STARTED(server, server.prepare());
    TempEnvironment &home = server.environment();
    const QString log = home.dataHome() + QLatin1String("/talvori/talvoriserver.error");
    // An unknown database driver is a fatal start-up error; it names the driver in the log.
    for (const char *driver : {"NODRIVER1", "NODRIVER2"}) {
        home.writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"), QString::fromLatin1(driver));
        int code = 0;
        run(ServerProcess::executable(QStringLiteral("talvoriserver")), {}, home, &code);
        QVERIFY(code != 0);
    }
    QFile current(log);
    QFile old(log + QLatin1String(".old"));
    QVERIFY(current.open(QIODevice::ReadOnly));
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray currentText = current.readAll();
    const QByteArray oldText = old.readAll();
    QVERIFY2(currentText.contains("NODRIVER2") && !currentText.contains("NODRIVER1"), currentText.constData());
    QVERIFY2(oldText.contains("NODRIVER1") && !oldText.contains("NODRIVER2"), oldText.constData());
    QVERIFY(currentText.contains("Unknown database driver"));
    // Each statement is one line; debug lines never reach the file.
    for (const QByteArray &line : currentText.split('\n'))
        QVERIFY(!line.startsWith(' '));
}

QTEST_GUILESS_MAIN(TalvoriServerTest)
#include "tst_talvoriserver.moc"

// The server process's life on a private session bus: command line, start-up files, shut-down
// over the bus or when the control process leaves, refusal of a second server, error log rotation,
// and the bus objects it exports.

#include "protocolclient.h"
#include "serverprocess.h"
#include "tempenvironment.h"
#include "testbus.h"

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
    // A fresh home with its own settings, sharing this program's bus.
    std::unique_ptr<TempEnvironment> newHome();
    static QByteArray run(const QString &program, const QStringList &arguments, const TempEnvironment &home,
                          int *exitCode = nullptr);

    TempEnvironment m_busHome;
    TestBus m_bus;
};

void TalvoriServerTest::initTestCase()
{
    QVERIFY(m_busHome.isValid());
    QVERIFY(m_bus.start(m_busHome.path()));
}

std::unique_ptr<TempEnvironment> TalvoriServerTest::newHome()
{
    auto home = std::make_unique<TempEnvironment>();
    m_bus.exportTo(*home);
    home->writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"), QStringLiteral("QSQLITE3"));
    return home;
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
    const auto home = newHome();
    int code = -2;
    const QByteArray output = run(ServerProcess::executable(QStringLiteral("talvoriserver")), arguments, *home, &code);
    QCOMPARE(code, exitCode);
    QVERIFY2(output.contains(expected), output.constData());
    if (exitCode == 1)
        QVERIFY(output.contains("--help' to obtain a list of valid command line arguments.\n"));
}

void TalvoriServerTest::startupFilesAndQuitOverTheBus()
{
    const auto home = newHome();
    ServerProcess server(*home);
    QVERIFY2(server.start(), server.output().constData());

    const QString connectionFile = home->configHome() + QLatin1String("/talvori/talvoriconnectionrc");
    const QString serverFile = home->configHome() + QLatin1String("/talvori/talvoriserverrc");
    {
        const QSettings connection(connectionFile, QSettings::IniFormat);
        QCOMPARE(connection.value(QStringLiteral("Data/Method")).toString(), QStringLiteral("NamedPipe"));
        QCOMPARE(connection.value(QStringLiteral("Data/NamedPipe")).toString(), QStringLiteral("Talvori"));
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
                                 *home, &code);
    QVERIFY2(code == 0, reply.constData());
    QVERIFY(server.process().waitForFinished(20000));
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);

    QVERIFY(!QFile::exists(connectionFile));
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    QCOMPARE(settingsFile.readAll(), settingsWhileRunning);

    // After the shut-down nobody answers on the socket any more.
    ProtocolClient client;
    bool greeted = false;
    if (client.connectToServer(server.socketPath(), 1000))
        greeted = !client.readLine(nullptr, 1000).isEmpty();
    QVERIFY(!greeted);
}

void TalvoriServerTest::busObjectsAreIntrospectable()
{
    const auto home = newHome();
    ServerProcess server(*home);
    QVERIFY2(server.start(), server.output().constData());

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
                                   *home, &code);
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

    const auto home = newHome();
    ServerProcess server(*home);
    QVERIFY2(server.start(), server.output().constData());

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
    const auto home = newHome();
    ServerProcess first(*home);
    QVERIFY2(first.start(), first.output().constData());

    int code = -2;
    const QByteArray output = run(ServerProcess::executable(QStringLiteral("talvoriserver")), {}, *home, &code);
    QVERIFY2(code != 0, output.constData());
    QVERIFY2(output.contains("another server is already running"), output.constData());

    ProtocolClient client;
    QVERIFY(client.connectToServer(first.socketPath()));
    QCOMPARE(client.readLine(), QByteArray("* OK Talvori Almost IMAP Server [PROTOCOL 26]"));
    QCOMPARE(ProtocolClient::resultOf(client.command("a1", "CAPABILITY"), "a1"), QByteArray("OK"));
    QCOMPARE(first.stop(), 0);
}

void TalvoriServerTest::errorLogIsRotatedAtEachStart()
{
    const auto home = newHome();
    const QString log = home->dataHome() + QLatin1String("/talvori/talvoriserver.error");
    // An unknown database driver is a fatal start-up error; it names the driver in the log.
    for (const char *driver : {"NODRIVER1", "NODRIVER2"}) {
        home->writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"), QString::fromLatin1(driver));
        int code = 0;
        run(ServerProcess::executable(QStringLiteral("talvoriserver")), {}, *home, &code);
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

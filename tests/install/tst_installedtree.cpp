#include "commandrun.h"
#include "installedtree.h"
#include "serverprocess.h"
#include "tempenvironment.h"
#include "testbackend.h"
#include "testbus.h"
#include "testclient.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

namespace {

const QString BusName = QStringLiteral("org.freedesktop.Talvori");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Running and not yet a zombie waiting for the bus to collect it.
bool processRuns(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype afterName = stat.lastIndexOf(')');
    return afterName > 0 && stat.mid(afterName + 2, 1) != "Z";
}

} // namespace

// The build tree installed into a temporary prefix and used as users and other projects use an
// installation: the programs find their plug-ins and templates there, a session bus whose only
// service directory is the prefix's starts the installed server on the first call to its name, a
// client session works against that server, and a project outside the tree builds against the
// installed CMake package.
class InstalledTreeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void copiesOfTheSources_data();
    void copiesOfTheSources();
    void serviceFilesNameTheInstalledServer_data();
    void serviceFilesNameTheInstalledServer();
    void programsFindTheirPlugins();
    void firstCallStartsTheInstalledServer();
    void clientSession();
    void serverQuitsOverTheBus();
    void projectBuildsAgainstThePackage();

private:
    QString busLog() const { return QString::fromLocal8Bit(readFile(m_bus.logFile()).right(6000)); }
    QString installedServer() const { return m_tree.filePath(QStringLiteral("bin/talvoriserver")); }

    // Made before the home, which points TMPDIR into itself.
    InstalledTree m_tree;
    TempEnvironment m_home;
    TestBus m_bus;
    qint64 m_serverPid = 0;
};

void InstalledTreeTest::initTestCase()
{
    QVERIFY2(m_tree.install(), qPrintable(m_tree.errorString()));
    QVERIFY(m_home.isValid());
    // The server the bus starts lives in the temporary home, on its own SQLite driver.
    {
        QSettings settings(m_home.serverSettingsFile(), QSettings::IniFormat);
        TestBackend(QStringLiteral("QSQLITE3")).configure(settings, m_home.dataHome() + QLatin1String("/talvori/talvori.db"));
    }
    // The bus inherits the home's variables from this process and hands them to the server.
    QVERIFY(m_bus.start(m_home.path(), m_tree.filePath(QStringLiteral("share/dbus-1/services"))));
    m_bus.exportTo(m_home);
}

void InstalledTreeTest::cleanupTestCase()
{
    if (m_serverPid > 0 && processRuns(m_serverPid)) {
        ::kill(pid_t(m_serverPid), SIGKILL);
        qWarning().noquote() << "the server was still running; bus log:\n" << busLog();
    }
    m_bus.stop();
}

void InstalledTreeTest::copiesOfTheSources_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("source");
    const QString source = QStringLiteral(TALVORI_SOURCE_DIR);
    QTest::newRow("MySQL configuration template") << QStringLiteral("etc/xdg/talvori/mysql-global.conf")
                                                  << source + QLatin1String("/server/storage/config/mysql-global.conf");
    // Agents and resources make their adaptors and proxies from the same descriptions as the server.
    const QDir interfaces(source + QLatin1String("/server/interfaces"));
    for (const QString &xml : interfaces.entryList({QStringLiteral("*.xml")}, QDir::Files)) {
        QTest::newRow(qPrintable(xml)) << QLatin1String("share/dbus-1/interfaces/") + xml << interfaces.filePath(xml);
    }
}

void InstalledTreeTest::copiesOfTheSources()
{
    QFETCH(QString, installed);
    QFETCH(QString, source);
    const QByteArray expected = readFile(source);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(readFile(m_tree.filePath(installed)), expected);
}

void InstalledTreeTest::serviceFilesNameTheInstalledServer_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("lines");
    const QString program = installedServer();
    QTest::newRow("bus service") << QStringLiteral("share/dbus-1/services/org.freedesktop.Talvori.service")
                                 << QStringList{QStringLiteral("[D-BUS Service]"), QLatin1String("Name=") + BusName,
                                                QLatin1String("Exec=") + program,
                                                QStringLiteral("SystemdService=talvoriserver.service")};
    QTest::newRow("user unit") << QStringLiteral("lib/systemd/user/talvoriserver.service")
                               << QStringList{QStringLiteral("[Service]"), QStringLiteral("Type=dbus"),
                                              QLatin1String("BusName=") + BusName,
                                              QLatin1String("ExecStart=") + program};
}

void InstalledTreeTest::serviceFilesNameTheInstalledServer()
{
    QFETCH(QString, file);
    QFETCH(QStringList, lines);
    const QStringList found = QString::fromUtf8(readFile(m_tree.filePath(file))).split(QLatin1Char('\n'));
    for (const QString &line : std::as_const(lines))
        QVERIFY2(found.contains(line), qPrintable(line + QLatin1String(" is not in:\n") + found.join(QLatin1Char('\n'))));
    QVERIFY(QFileInfo(installedServer()).isExecutable());
}

void InstalledTreeTest::programsFindTheirPlugins()
{
    // Nothing tells the programs where the prefix is: they look from their own directory.
    const CommandRun list = CommandRun::run(m_tree.filePath(QStringLiteral("bin/grix-run")), {QStringLiteral("--list-plugins")});
    QVERIFY2(list.ok(), qPrintable(list.describe()));
    for (const char *entry : {"graphml", "edgelist", "MakeComplete"})
        QVERIFY2(list.output().contains(entry), qPrintable(list.describe()));

    // A red square seen through the render plug-in, which mondri-render cannot do without.
    const QString kml = m_tree.workPath(QStringLiteral("square.kml"));
    QFile file(kml);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"(<kml xmlns="http://www.opengis.net/kml/2.2"><Document>
<Style id="red"><PolyStyle><color>ff0000ff</color></PolyStyle></Style>
<Placemark><styleUrl>#red</styleUrl><Polygon><outerBoundaryIs><LinearRing>
<coordinates>0,0 10,0 10,10 0,10 0,0</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>
</Document></kml>)");
    file.close();
    const QString image = m_tree.workPath(QStringLiteral("square.png"));
    const CommandRun render = CommandRun::run(m_tree.filePath(QStringLiteral("bin/mondri-render")),
                                              {kml, QStringLiteral("-o"), image, QStringLiteral("--size"),
                                               QStringLiteral("20x20"), QStringLiteral("--bbox"), QStringLiteral("-5,-5,15,15")});
    QVERIFY2(render.ok(), qPrintable(render.describe()));
    QCOMPARE(QImage(image).pixelColor(10, 10), QColor(255, 0, 0));
}

void InstalledTreeTest::firstCallStartsTheInstalledServer()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QVERIFY(bus);
    QVERIFY(!bus->isServiceRegistered(BusName).value());
    QVERIFY(bus->activatableServiceNames().value().contains(BusName));

    // The call waits at the bus until the server it starts owns the name, and must then find the
    // server's objects there.
    const QString error = ServerProcess::addResource(QStringLiteral("res1"));
    QVERIFY2(error.isEmpty(), qPrintable(error + QLatin1String("\nbus log:\n") + busLog()));

    m_serverPid = bus->servicePid(BusName).value();
    QVERIFY(m_serverPid > 0);
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(m_serverPid)).canonicalFilePath(),
             QFileInfo(installedServer()).canonicalFilePath());
    QVERIFY(QFileInfo(m_home.dataHome() + QLatin1String("/talvori/talvori.db")).isFile());
}

void InstalledTreeTest::clientSession()
{
    QVERIFY(m_serverPid > 0);
    TestClient client;
    QVERIFY(client.open(m_home.runtimeDir() + QLatin1String("/talvori/Talvori")));
    QVERIFY(client.login("res1"));
    const qint64 inbox = client.create("\"Inbox\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(inbox > 0);
    const QByteArray message = "From: demo@example.org\r\nSubject: Hello\r\n\r\nStored by the installed server.\r\n";
    const QByteArray size = QByteArray::number(message.size());
    const qint64 item = client.tvAppend(inbox, "(PLD:RFC822 :" + size + ")", message, "(\\MimeType[message/rfc822])");
    QVERIFY(item > 0);
    QList<QByteArray> answer;
    QVERIFY(client.runOk("UID FETCH " + QByteArray::number(item) + " (PLD:RFC822)", &answer));
    QVERIFY2(answer.join('\n').contains(" PLD:RFC822 {" + size + "}\r\n" + message + ")"), answer.join('\n').constData());
    client.logout();
}

void InstalledTreeTest::serverQuitsOverTheBus()
{
    QVERIFY(m_serverPid > 0);
    QDBusInterface server(BusName, QStringLiteral("/Server"), QStringLiteral("org.freedesktop.Talvori.Server"));
    QVERIFY(server.call(QStringLiteral("quit")).type() == QDBusMessage::ReplyMessage);
    QElapsedTimer timer;
    timer.start();
    while (processRuns(m_serverPid) && timer.elapsed() < 30000)
        QTest::qWait(50);
    QVERIFY2(!processRuns(m_serverPid), qPrintable(busLog()));
    // An orderly shutdown takes back what told clients the server is there.
    QVERIFY(!QFile::exists(m_home.configHome() + QLatin1String("/talvori/talvoriconnectionrc")));
}

void InstalledTreeTest::projectBuildsAgainstThePackage()
{
    const QString build = m_tree.workPath(QStringLiteral("consumer"));
    QStringList configure{QStringLiteral("-S"), QStringLiteral(TALVORI_CONSUMER_SOURCE_DIR), QStringLiteral("-B"), build,
                          QStringLiteral("-G"), QStringLiteral("Ninja"),
                          QLatin1String("-DCMAKE_PREFIX_PATH=") + m_tree.prefix(),
                          QStringLiteral("-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF")};
    // Libraries built with sanitizers need their run-time in the programs that link them.
    if (const QString sanitize = QStringLiteral(TALVORI_SANITIZE); !sanitize.isEmpty())
        configure << QLatin1String("-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=") + sanitize;
    const QString ccache = QStandardPaths::findExecutable(QStringLiteral("ccache"));
    if (!ccache.isEmpty()) {
        configure << QLatin1String("-DCMAKE_CXX_COMPILER_LAUNCHER=") + ccache;
        // The prefix is new for every run; paths below it are hashed relative to it.
        qputenv("CCACHE_BASEDIR", QFile::encodeName(m_tree.workPath(QString())));
        qputenv("CCACHE_NOHASHDIR", "1");
    }
    const CommandRun configured = CommandRun::run(InstalledTree::cmakeCommand(), configure);
    QVERIFY2(configured.ok(), qPrintable(configured.describe()));
    const QByteArray packageDir = "Talvori package: " + QFile::encodeName(m_tree.filePath(QStringLiteral(TALVORI_INSTALL_LIBDIR)))
        + "/cmake/Talvori";
    QVERIFY2(configured.output().contains(packageDir), qPrintable(configured.describe()));

    const CommandRun built = CommandRun::run(InstalledTree::cmakeCommand(), {QStringLiteral("--build"), build});
    QVERIFY2(built.ok(), qPrintable(built.describe()));

    const CommandRun consumer = CommandRun::run(build + QLatin1String("/consumer"), {});
    QVERIFY2(consumer.ok(), qPrintable(consumer.describe()));
    QCOMPARE(consumer.output(), QByteArray("set 1:3,7 nodes 2 edges 1 connected 0\n"));
}

QTEST_GUILESS_MAIN(InstalledTreeTest)
#include "tst_installedtree.moc"

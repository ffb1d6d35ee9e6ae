// What belongs to the user running the server stays theirs: files the server writes are owner-only
// whatever the umask it was started with, wider ones are tightened at start, and the socket lives
// in a directory nobody else can enter, cannot be taken over by a second server (on any bus) and
// cannot be blocked by a name somebody else put in a shared directory first.

#include "serveraccount.h"
#include "testclient.h"
#include "testserver.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

ino_t inodeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// Entries below path that others may read, write or enter, with their modes.
QStringList openToOthers(const QString &path)
{
    QStringList found;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList paths{path};
    while (it.hasNext())
        paths.append(it.next());
    for (const QString &entry : std::as_const(paths)) {
        const mode_t mode = modeOf(entry);
        if (!S_ISLNK(mode) && (mode & 077))
            found.append(QStringLiteral("%1 %2").arg(mode & 07777, 4, 8, QLatin1Char('0')).arg(entry));
    }
    return found;
}

// A uid other than ours to own what a stranger leaves in a shared directory; 0 when the test
// cannot make files for another account (it does not run as root).
uid_t strangerUid()
{
    if (::getuid() != 0)
        return 0;
    QString error;
    if (!ServerAccount::ensureExists(&error))
        return 0;
    const passwd *account = ::getpwnam(ServerAccount::name().toLocal8Bit().constData());
    return account ? account->pw_uid : 0;
}

// A socket file nobody listens on any more, as a killed server leaves it.
bool makeDeadSocket(const QString &path)
{
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const bool bound = ::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    ::close(descriptor);
    return bound;
}

} // namespace

class ServerIsolationTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void filesArePrivateWhateverTheUmask();
    void secondServerOnAnotherBusRefuses();
    void staleSocketIsReplaced();
    void squattedSharedDirectory_data();
    void squattedSharedDirectory();

private:
    TempEnvironment m_busHome;
    TestBus m_bus;
};

void ServerIsolationTest::initTestCase()
{
    QVERIFY(m_busHome.isValid());
    QVERIFY(m_bus.start(m_busHome.path()));
}

void ServerIsolationTest::filesArePrivateWhateverTheUmask()
{
    TestServer server(m_bus, QStringLiteral("QSQLITE3"));
    TALVORI_VERIFY_STARTED(server, server.prepare());
    const QString dataDir = server.environment().dataHome() + QLatin1String("/talvori");

    // What an earlier run under a careless umask left: open directories and readable files.
    const mode_t previous = ::umask(0);
    QVERIFY(QDir().mkpath(dataDir + QLatin1String("/file_db_data")));
    QVERIFY(::chmod(QFile::encodeName(dataDir).constData(), 0777) == 0);
    QVERIFY(::chmod(QFile::encodeName(dataDir + QLatin1String("/file_db_data")).constData(), 0755) == 0);
    QFile old(dataDir + QLatin1String("/talvoriserver.error.old"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    QVERIFY(::chmod(QFile::encodeName(old.fileName()).constData(), 0666) == 0);

    // The server inherits umask 0 and still writes nothing others can read.
    const bool started = server.start({QStringLiteral("res1")});
    ::umask(previous);
    TALVORI_VERIFY_STARTED(server, started);
    TestClient client;
    QVERIFY(server.login(client, "res1"));
    const qint64 collection = client.create("\"Inbox\" 0 (MIMETYPE (message/rfc822))");
    QVERIFY(collection > 0);
    QVERIFY(client.tvAppend(collection, "(PLD:RFC822 :10)", "small mail") > 0);
    const QByteArray large(64 * 1024, 'x');
    QVERIFY(client.tvAppend(collection, "(PLD:RFC822 :65536)", large) > 0);

    // The line about the tightened modes went to the error log, which is new and private too.
    QVERIFY(QFile::exists(dataDir + QLatin1String("/talvoriserver.error")));
    QVERIFY(QFile::exists(dataDir + QLatin1String("/talvori.db-wal")));
    QVERIFY(!QDir(dataDir + QLatin1String("/file_db_data")).entryList(QDir::Files).isEmpty());
    const QStringList open = openToOthers(dataDir) + openToOthers(QFileInfo(server.socketPath()).path())
        + openToOthers(server.environment().configHome() + QLatin1String("/talvori/talvoriconnectionrc"));
    QVERIFY2(open.isEmpty(), qPrintable(open.join(QLatin1Char('\n'))));
    QVERIFY2(server.output().contains("Took the group and other permissions off"), server.output().constData());
    QCOMPARE(server.stop(), 0);
}

void ServerIsolationTest::secondServerOnAnotherBusRefuses()
{
    TestServer first(m_bus, QStringLiteral("QSQLITE3"));
    TALVORI_VERIFY_STARTED(first, first.start());
    const QString socket = first.socketPath();
    const ino_t inode = inodeOf(socket);
    QVERIFY(inode != 0);

    // Same home, same socket name, but a bus of its own: the bus name does not stop it.
    TempEnvironment otherBusHome;
    TestBus otherBus;
    QVERIFY(otherBus.start(otherBusHome.path()));
    QProcessEnvironment environment = first.environment().environment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), otherBus.address());
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.start(ServerProcess::executable(QStringLiteral("talvoriserver")), {});
    QVERIFY(second.waitForFinished(30000));
    const QByteArray output = second.readAll();
    QVERIFY2(second.exitStatus() != QProcess::NormalExit || second.exitCode() != 0, output.constData());
    QVERIFY2(output.contains("another server is already listening on " + QFile::encodeName(socket)), output.constData());

    // The first one keeps its socket file and answers on it.
    QCOMPARE(inodeOf(socket), inode);
    TestClient client;
    QVERIFY(first.connect(client));
    QVERIFY(client.runOk("CAPABILITY"));
    QCOMPARE(first.stop(), 0);
    QVERIFY(!QFile::exists(socket));
}

void ServerIsolationTest::staleSocketIsReplaced()
{
    TestServer server(m_bus, QStringLiteral("QSQLITE3"));
    TALVORI_VERIFY_STARTED(server, server.prepare());
    const QString socket = server.socketPath();
    QVERIFY(QDir().mkpath(QFileInfo(socket).path()));
    QVERIFY(makeDeadSocket(socket));
    TALVORI_VERIFY_STARTED(server, server.start());
    TestClient client;
    QVERIFY(server.connect(client));
    QCOMPARE(server.stop(), 0);
}

void ServerIsolationTest::squattedSharedDirectory_data()
{
    QTest::addColumn<QString>("squatted");
    QTest::addColumn<bool>("asDirectory");
    const QString ownDirectory = QStringLiteral("talvori-%1").arg(::getuid());
    // The server's old habit: the socket itself in the shared directory.
    QTest::newRow("socket name") << QStringLiteral("Talvori") << false;
    QTest::newRow("private directory's name, as a file") << ownDirectory << false;
    QTest::newRow("private directory's name, as a directory") << ownDirectory << true;
}

void ServerIsolationTest::squattedSharedDirectory()
{
    QFETCH(QString, squatted);
    QFETCH(bool, asDirectory);
    const uid_t stranger = strangerUid();
    if (stranger == 0)
        QSKIP("needs root to leave files of another account in a shared directory");

    TestServer server(m_bus, QStringLiteral("QSQLITE3"));
    TALVORI_VERIFY_STARTED(server, server.prepare());
    // A shared temporary directory (mode 1777, like /tmp) and no runtime directory.
    QTemporaryDir shared(server.environment().path() + QLatin1String("/shared-XXXXXX"));
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
    server.environment().unsetVariable(QStringLiteral("XDG_RUNTIME_DIR"));
    server.environment().setVariable(QStringLiteral("TMPDIR"), shared.path());

    const QByteArray taken = QFile::encodeName(shared.filePath(squatted));
    if (asDirectory)
        QVERIFY(::mkdir(taken.constData(), 0777) == 0 && ::chmod(taken.constData(), 0777) == 0);
    else
        QVERIFY(QFile(shared.filePath(squatted)).open(QIODevice::WriteOnly));
    QVERIFY(::chown(taken.constData(), stranger, stranger) == 0);

    TALVORI_VERIFY_STARTED(server, server.start());
    const QString socket = server.socketPath();
    QVERIFY2(socket.startsWith(shared.path() + QLatin1Char('/')), qPrintable(socket));
    const QString directory = QFileInfo(socket).path();
    QCOMPARE(QFileInfo(directory).ownerId(), ::getuid());
    QCOMPARE(modeOf(directory) & 0777, mode_t(0700));
    TestClient client;
    QVERIFY(server.connect(client));
    QVERIFY(client.runOk("CAPABILITY"));
    // What the stranger made is left alone.
    QCOMPARE(QFileInfo(QFile::decodeName(taken)).ownerId(), stranger);
    QCOMPARE(server.stop(), 0);
}

QTEST_GUILESS_MAIN(ServerIsolationTest)
#include "tst_serverisolation.moc"

// Start-to-ready and shut-down times of the server process on a private session bus.
// Each run starts the server on a fresh home (the database and its schema are created), stops it
// over the bus, starts it again on the same home and stops it again.
//
//   bench_lifecycle [driver] [runs]      driver: QSQLITE3 (default) or QMYSQL (a private MariaDB
//                                        server the backend starts itself; not as root)

#include "serverprocess.h"
#include "tempenvironment.h"
#include "testbus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

struct Times {
    double ready = 0;
    double shutdown = 0;
};

bool ready(const TempEnvironment &home, const QString &socket)
{
    QLocalSocket probe;
    probe.connectToServer(socket);
    if (!probe.waitForConnected(100))
        return false;
    const QSettings connection(home.configHome() + QLatin1String("/talvori/talvoriconnectionrc"), QSettings::IniFormat);
    return connection.contains(QStringLiteral("DBUS/Address"));
}

bool startAndStop(TempEnvironment &home, Times *times)
{
    QProcess server;
    server.setProcessEnvironment(home.environment());
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    server.start(ServerProcess::executable(QStringLiteral("talvoriserver")), {});
    const QString socket = home.runtimeDir() + QLatin1String("/talvori/Talvori");
    while (!ready(home, socket)) {
        if (server.state() == QProcess::NotRunning || timer.elapsed() > 120000)
            return false;
        QThread::msleep(5);
    }
    times->ready = timer.nsecsElapsed() / 1e6;

    timer.restart();
    const QDBusMessage quit = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Talvori"),
                                                             QStringLiteral("/Server"),
                                                             QStringLiteral("org.freedesktop.Talvori.Server"),
                                                             QStringLiteral("quit"));
    QDBusConnection::sessionBus().call(quit);
    if (!server.waitForFinished(120000))
        return false;
    times->shutdown = timer.nsecsElapsed() / 1e6;
    return server.exitCode() == 0;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString driver = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("QSQLITE3");
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 3;

    TempEnvironment busHome;
    TestBus bus;
    if (!bus.start(busHome.path()))
        return 1;

    QList<double> firstReady, firstShutdown, warmReady, warmShutdown;
    for (int run = 0; run < runs; ++run) {
        TempEnvironment home;
        bus.exportTo(home);
        home.writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"), driver);
        // A private database server keeps its socket in the home, away from the user's real one.
        home.writeServerSettings(QStringLiteral("Connection"), QStringLiteral("SocketDirectory"),
                                 home.path() + QLatin1String("/sock"));
        Times first, warm;
        if (!startAndStop(home, &first) || !startAndStop(home, &warm)) {
            std::fprintf(stderr, "the server did not start or stop cleanly with %s\n", qPrintable(driver));
            return 1;
        }
        firstReady.append(first.ready);
        firstShutdown.append(first.shutdown);
        warmReady.append(warm.ready);
        warmShutdown.append(warm.shutdown);
    }
    const QByteArray name = driver.toLower().toLatin1();
    std::printf("%s_first_start_to_ready %.0f ms\n", name.constData(), median(firstReady));
    std::printf("%s_start_to_ready %.0f ms\n", name.constData(), median(warmReady));
    std::printf("%s_shutdown %.0f ms\n", name.constData(), median(warmShutdown));
    std::printf("%s_first_shutdown %.0f ms\n", name.constData(), median(firstShutdown));
    return 0;
}

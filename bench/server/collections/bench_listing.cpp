// Deep listings of a large tree through a live server: a tree of collections with items is
// written straight into a fresh database, then the server answers LIST 0 INF and X-TVLIST 0 INF
// with statistics. Prints the time of each listing and the lines it returned.
//
//   bench_listing [collections [items]]        (default 10000 and 100000)

#include "collectiontreefiller.h"
#include "protocolclient.h"
#include "serverprocess.h"
#include "storage/datastore.h"
#include "storage/dbconfig.h"
#include "tempenvironment.h"
#include "testbus.h"

#include <xdgbasedirs.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>

#include <cstdio>

namespace {

// Best of a few runs, in milliseconds; lines counts the collection lines of the last run.
double timeListing(ProtocolClient &client, const QByteArray &command, int runs, qsizetype *lines)
{
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        const QByteArray tag = 'l' + QByteArray::number(i);
        QElapsedTimer timer;
        timer.start();
        const QList<QByteArray> answer = client.command(tag, command);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (ProtocolClient::resultOf(answer, tag) != "OK") {
            std::fprintf(stderr, "%s failed: %s\n", command.constData(), answer.value(answer.size() - 1).constData());
            return -1;
        }
        *lines = answer.size() - 1;
        if (best < 0 || ms < best)
            best = ms;
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int collections = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int items = argc > 2 ? QByteArray(argv[2]).toInt() : 100000;

    TempEnvironment environment;
    TestBus bus;
    if (!bus.start(environment.path()))
        return 1;
    bus.exportTo(environment);
    environment.writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"), QStringLiteral("QSQLITE3"));

    {
        QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
        if (!DbConfig::configuredDatabase()->init(settings) || !DataStore::self()->init()) {
            std::fprintf(stderr, "database setup failed\n");
            return 1;
        }
        QElapsedTimer fillTimer;
        fillTimer.start();
        if (!CollectionTreeFiller(QStringLiteral("bench"), 10).fill(collections, items)) {
            std::fprintf(stderr, "filling the tree failed\n");
            return 1;
        }
        std::printf("fill %d collections %d items: %.0f ms\n", collections, items, fillTimer.nsecsElapsed() / 1e6);
        DataStore::self()->close();
    }

    ServerProcess server(environment);
    if (!server.start()) {
        std::fprintf(stderr, "server did not start: %s\n", server.output().constData());
        return 1;
    }
    ProtocolClient client;
    if (!client.connectToServer(server.socketPath()))
        return 1;
    client.readLine();
    client.command("a0", "LOGIN bench");

    qsizetype lines = 0;
    const double list = timeListing(client, "LIST 0 INF ()", 3, &lines);
    std::printf("LIST 0 INF: %.1f ms, %lld lines\n", list, static_cast<long long>(lines));
    const double statistics = timeListing(client, "X-TVLIST 0 INF () (STATISTICS true)", 3, &lines);
    std::printf("X-TVLIST 0 INF (STATISTICS true): %.1f ms, %lld lines\n", statistics,
                static_cast<long long>(lines));

    client.command("z", "LOGOUT");
    server.stop();
    return list < 0 || statistics < 0 ? 1 : 0;
}

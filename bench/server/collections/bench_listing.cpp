// Deep listings of a large tree through a live server: a tree of collections with items is
// written straight into a fresh database, then the server answers LIST 0 INF and X-TVLIST 0 INF
// with statistics. Prints the time of each listing and the lines it returned.
//
//   bench_listing [collections [items]]        (default 10000 and 100000)

#include "collectiontreefiller.h"
#include "storage/datastore.h"
#include "testclient.h"
#include "testserver.h"
#include "teststorage.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// Best of a few runs, in milliseconds; lines counts the collection lines of the last run.
double timeListing(TestClient &client, const QByteArray &command, int runs, qsizetype *lines)
{
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        QList<QByteArray> answer;
        QElapsedTimer timer;
        timer.start();
        const bool ok = client.runOk(command, &answer);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (!ok)
            return -1;
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

    TestServer server(QStringLiteral("QSQLITE3"));
    {
        // The tree goes straight into the server's database before the server starts.
        QString error;
        if (!server.prepare() || !TestStorage::openDataStore(&error)) {
            std::fprintf(stderr, "database setup failed: %s%s\n", qPrintable(server.errorString()), qPrintable(error));
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

    TestClient client;
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    if (!server.login(client, "bench"))
        return 1;

    qsizetype lines = 0;
    const double list = timeListing(client, "LIST 0 INF ()", 3, &lines);
    std::printf("LIST 0 INF: %.1f ms, %lld lines\n", list, static_cast<long long>(lines));
    const double statistics = timeListing(client, "X-TVLIST 0 INF () (STATISTICS true)", 3, &lines);
    std::printf("X-TVLIST 0 INF (STATISTICS true): %.1f ms, %lld lines\n", statistics,
                static_cast<long long>(lines));

    client.logout();
    server.stop();
    return list < 0 || statistics < 0 ? 1 : 0;
}

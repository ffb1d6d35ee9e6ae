// SEARCH with many hits and start-up with many persistent searches, on the server process with
// the semantic query service peer on a private bus.
//
//   bench_search [driver]      driver: QSQLITE3 (default), QMYSQL or QPSQL (see TestBackend)
//
// SEARCH is measured beside UID FETCH of the same ids (the same lines, without the query
// service), start-up with 1,000 persistent searches beside a start with none, in one sitting.

#include "processmemory.h"
#include "sorvanipeer.h"
#include "testclient.h"
#include "testserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Items = 200000;
constexpr int Runs = 3;

struct Figure {
    double ms = 0;
    qint64 peakKiB = -1;
    qsizetype lines = 0;
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Items straight into the database, far quicker than through the protocol: only their rows
// matter to SEARCH and FETCH with (UID). The id of the first, or -1.
qint64 insertItems(TestServer &server, qint64 collection)
{
    QSqlDatabase db = server.addDatabaseConnection(QStringLiteral("bench"));
    if (!db.open())
        return -1;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT id FROM MimeTypeTable WHERE name = 'message/rfc822'")) || !query.next())
        return -1;
    const qint64 mimeType = query.value(0).toLongLong();
    db.transaction();
    query.prepare(QStringLiteral("INSERT INTO PimItemTable (rev, remoteId, collectionId, mimeTypeId, size) "
                                 "VALUES (0, ?, ?, ?, 0)"));
    for (int i = 0; i < Items; ++i) {
        query.addBindValue(QStringLiteral("r%1").arg(i));
        query.addBindValue(collection);
        query.addBindValue(mimeType);
        if (!query.exec()) {
            fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
            return -1;
        }
    }
    if (!db.commit() || !query.exec(QStringLiteral("SELECT MIN(id) FROM PimItemTable")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

Figure measure(TestServer &server, TestClient &client, const QByteArray &command)
{
    ProcessMemory memory(server.process().processId());
    QList<double> times;
    Figure figure;
    for (int run = 0; run < Runs; ++run) {
        memory.resetPeak();
        qsizetype lines = 0;
        QElapsedTimer timer;
        timer.start();
        if (!client.runStreaming(command, [&lines](QByteArrayView) { ++lines; }))
            return Figure();
        times.append(timer.nsecsElapsed() / 1e6);
        figure.lines = lines;
        figure.peakKiB = std::max(figure.peakKiB, memory.peakKiB());
    }
    figure.ms = median(times);
    return figure;
}

// Start to ready, and to every persistent search reopened at the service.
bool startTimes(TestServer &server, TestClient &client, SorvaniPeer &peer, int searches, double *ready, double *reopened)
{
    client.disconnectFromServer();
    server.stop();
    peer.clearCalls();
    QElapsedTimer timer;
    timer.start();
    if (!server.start())
        return false;
    *ready = timer.nsecsElapsed() / 1e6;
    while (peer.calls().filter(QStringLiteral("list(")).size() < searches) {
        if (timer.elapsed() > 300000)
            return false;
        QThread::msleep(2);
    }
    *reopened = timer.nsecsElapsed() / 1e6;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString driver = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("QSQLITE3");
    TestServer server(driver);
    if (!server.prepare()) {
        fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    SorvaniPeer peer;
    peer.registerOnBus();
    if (!server.start({QStringLiteral("res1")})) {
        fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    TestClient client;
    client.setTimeout(600000);
    // A resource may make top-level collections.
    if (!server.login(client, "res1"))
        return 1;
    const qint64 collection = client.create("\"Bench\" 0 (MIMETYPE (message/rfc822))");
    const qint64 base = collection < 0 ? -1 : insertItems(server, collection);
    if (base < 0)
        return 1;

    printf("driver %s, %d items\n", qPrintable(driver), Items);
    printf("%-32s %10s %10s %12s\n", "command", "lines", "ms", "peak KiB");
    for (const int hits : {10000, 100000}) {
        // Every other item, so that no two hits make one range.
        QStringList uris;
        QByteArray set;
        for (int i = 0; i < hits; ++i) {
            uris.append(SorvaniPeer::itemUri(base + 2 * i));
            set += (set.isEmpty() ? "" : ",") + QByteArray::number(base + 2 * i);
        }
        const QString query = QStringLiteral("hits%1").arg(hits);
        peer.setResults(query, uris);
        const Figure search = measure(server, client, "SEARCH \"" + query.toLatin1() + "\" (UID)");
        const Figure fetch = measure(server, client, "UID FETCH " + set + " (UID)");
        printf("%-32s %10lld %10.1f %12lld\n", qPrintable(QStringLiteral("SEARCH, %1 hits").arg(hits)),
               qint64(search.lines), search.ms, search.peakKiB);
        printf("%-32s %10lld %10.1f %12lld\n", qPrintable(QStringLiteral("UID FETCH, same %1 ids").arg(hits)),
               qint64(fetch.lines), fetch.ms, fetch.peakKiB);
    }

    constexpr int Searches = 1000;
    double readyNone = 0;
    double reopenedNone = 0;
    if (!startTimes(server, client, peer, 0, &readyNone, &reopenedNone))
        return 1;
    if (!server.login(client, "bench"))
        return 1;
    peer.setResults(QStringLiteral("stored"), {});
    for (int i = 0; i < Searches; ++i) {
        if (!client.runOk("SEARCH_STORE \"s" + QByteArray::number(i) + "\" \"stored\""))
            return 1;
    }
    double ready = 0;
    double reopened = 0;
    if (!startTimes(server, client, peer, Searches, &ready, &reopened))
        return 1;
    printf("%-32s %10s %10.1f\n", "start, no persistent search", "ready", readyNone);
    printf("%-32s %10s %10.1f\n", "start, 1000 persistent searches", "ready", ready);
    printf("%-32s %10s %10.1f\n", "start, 1000 persistent searches", "reopened", reopened);
    return server.stop() == 0 ? 0 : 1;
}

// How long the server's main thread is held up while the interval check and the cache cleaner go
// over a large store: a tree of collections with items whose payloads can all expire is written
// into a fresh database, the server starts with both services running every second (and one
// "minute" of policies lasting a millisecond, so every collection is due each time), and a bus
// call to "/Server" is timed every 20 ms meanwhile. Prints the worst and the 99th percentile delay.
//
//   bench_maintenance [collections [items [seconds]]]   (default 10000, 100000 and 10)

#include "collectiontreefiller.h"
#include "storage/datastore.h"
#include "testserver.h"
#include "teststorage.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int collections = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int items = argc > 2 ? QByteArray(argv[2]).toInt() : 100000;
    const int seconds = argc > 3 ? QByteArray(argv[3]).toInt() : 10;

    TestServer server(QStringLiteral("QSQLITE3"));
    {
        QString error;
        if (!server.prepare() || !TestStorage::openDataStore(&error)) {
            std::fprintf(stderr, "database setup failed: %s%s\n", qPrintable(server.errorString()), qPrintable(error));
            return 1;
        }
        if (!CollectionTreeFiller(QStringLiteral("bench"), 10).fill(collections, items)) {
            std::fprintf(stderr, "filling the tree failed\n");
            return 1;
        }
        // Every item clean, long unread and with a payload; every top-level policy (inherited by
        // the rest) checks often and expires at once.
        QSqlQuery query(DataStore::self()->database());
        const bool ok = query.exec(QStringLiteral("UPDATE PimItemTable SET dirty = 0, atime = '2000-01-01T00:00:00.000Z'"))
            && query.exec(QStringLiteral("UPDATE CollectionTable SET cachePolicyCacheTimeout = 0, cachePolicyLocalParts = '' "
                                         "WHERE cachePolicyInherit = 0"))
            && query.exec(QStringLiteral("INSERT INTO PartTable (pimItemId, name, data, datasize, version, external) "
                                         "SELECT id, 'PLD:RFC822', 'payload', 7, 0, 0 FROM PimItemTable"));
        if (!ok) {
            std::fprintf(stderr, "preparing the policies failed\n");
            return 1;
        }
        DataStore::self()->close();
    }
    const TempEnvironment &home = server.environment();
    home.writeServerSettings(QStringLiteral("Debug"), QStringLiteral("IntervalCheckPeriod"), 1000);
    home.writeServerSettings(QStringLiteral("Debug"), QStringLiteral("CacheCleanerPeriod"), 1000);
    home.writeServerSettings(QStringLiteral("Debug"), QStringLiteral("CacheTimeoutUnit"), 1);
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }

    const QDBusMessage introspect = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/Server"),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    QList<double> delays;
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < seconds * 1000) {
        QElapsedTimer call;
        call.start();
        if (QDBusConnection::sessionBus().call(introspect, QDBus::Block, 30000).type() != QDBusMessage::ReplyMessage) {
            std::fprintf(stderr, "the bus call failed\n");
            return 1;
        }
        delays.append(call.nsecsElapsed() / 1e6);
        QThread::msleep(20);
    }
    std::sort(delays.begin(), delays.end());
    QSqlDatabase look = server.addDatabaseConnection(QStringLiteral("look"));
    qint64 left = -1;
    if (look.open()) {
        QSqlQuery count(look);
        if (count.exec(QStringLiteral("SELECT COUNT(*) FROM PartTable WHERE data IS NOT NULL")) && count.next())
            left = count.value(0).toLongLong();
    }
    std::printf("%d collections, %d items, %d s of interval checks and cleaner runs every second:\n", collections,
                items, seconds);
    std::printf("bus call to /Server: median %.2f ms, p99 %.2f ms, worst %.2f ms (%lld calls)\n",
                delays.at(delays.size() / 2), delays.at(qMin(delays.size() - 1, delays.size() * 99 / 100)),
                delays.last(), static_cast<long long>(delays.size()));
    std::printf("payload parts still cached: %lld of %d\n", static_cast<long long>(left), items);
    look.close();
    return server.stop() == 0 ? 0 : 1;
}

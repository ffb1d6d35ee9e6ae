// A bounded stress run: many clients for minutes, mixing the commands a desktop sends, on a store
// filled beforehand. Prints per command the count, errors and p50/p99 latency, and the server's
// resident memory per minute (the last minute against the second: a leak shows as growth).
//
//     bench_stress [--clients 32] [--seconds 300] [--items 100000]    (TALVORI_TEST_BACKEND picks the database)

#include "../items/processmemory.h"
#include "testclient.h"
#include "testserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMap>
#include <QMutex>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

constexpr int Collections = 10;

struct Results {
    QMutex mutex; // guards everything below
    QMap<QByteArray, QList<qint64>> latenciesUs;
    QMap<QByteArray, int> errors;
    QByteArrayList firstErrors;
};

class StressClient : public QThread
{
public:
    StressClient(QString socketPath, QList<qint64> collections, qint64 items, QDeadlineTimer deadline, Results &results)
        : m_socketPath(std::move(socketPath))
        , m_collections(std::move(collections))
        , m_items(items)
        , m_deadline(deadline)
        , m_results(results)
    {
    }

protected:
    void run() override
    {
        TestClient client;
        if (!client.open(m_socketPath) || !client.login("res1")) {
            record("LOGIN", "no login");
            return;
        }
        QRandomGenerator random(QRandomGenerator::global()->generate());
        QMap<QByteArray, QList<qint64>> latencies;
        while (!m_deadline.hasExpired()) {
            const QByteArray item = QByteArray::number(1 + random.bounded(m_items));
            const QByteArray collection = QByteArray::number(m_collections.at(random.bounded(m_collections.size())));
            QByteArray name;
            QElapsedTimer timer;
            timer.start();
            bool ok = true;
            switch (random.bounded(12)) {
            case 0: case 1: case 2:
                name = "FETCH item";
                ok = client.runOk("UID FETCH " + item + " (FLAGS REV PLD:RFC822)");
                break;
            case 3:
                name = "FETCH 50 flags";
                ok = client.runOk("UID FETCH " + item + ':' + QByteArray::number(item.toLongLong() + 49) + " (FLAGS)");
                break;
            case 4: case 5:
                name = "STORE flags";
                ok = client.runOk("UID STORE " + item + " (+FLAGS ($s" + QByteArray::number(random.bounded(4)) + "))");
                break;
            case 6: {
                name = "STORE part";
                const QByteArray tag = client.nextTag();
                const QList<QByteArray> answer = client.runLiteral(tag, "UID STORE " + item + " (PLD:RFC822 ",
                                                                   QByteArray(512 + random.bounded(4096), 's'), ")");
                ok = !answer.isEmpty() && answer.last().startsWith(tag + " OK");
                break;
            }
            case 7: case 8:
                name = "X-TVAPPEND";
                ok = client.tvAppend(collection.toLongLong(), "(PLD:RFC822 :1024)", QByteArray(1024, 'n')) > 0;
                break;
            case 9:
                name = "LIST";
                ok = client.runOk("X-TVLIST 0 INF ()");
                break;
            case 10:
                name = "STATUS";
                ok = client.runOk("STATUS " + collection + " (MESSAGES UNSEEN SIZE)");
                break;
            default: {
                name = "BEGIN-APPEND-COMMIT";
                ok = client.runOk("BEGIN")
                     && client.tvAppend(collection.toLongLong(), "(PLD:RFC822 :64)", QByteArray(64, 't')) > 0
                     && client.runOk("COMMIT");
                if (!ok)
                    client.run("ROLLBACK");
                break;
            }
            }
            latencies[name].append(timer.nsecsElapsed() / 1000);
            if (!ok)
                record(name, client.lastFailure());
        }
        const QMutexLocker locker(&m_results.mutex);
        for (auto it = latencies.cbegin(); it != latencies.cend(); ++it)
            m_results.latenciesUs[it.key()] += it.value();
    }

private:
    void record(const QByteArray &name, const QByteArray &failure)
    {
        const QMutexLocker locker(&m_results.mutex);
        ++m_results.errors[name];
        if (m_results.firstErrors.size() < 10)
            m_results.firstErrors.append(name + ": " + failure.left(200));
    }

    const QString m_socketPath;
    const QList<qint64> m_collections;
    const qint64 m_items;
    const QDeadlineTimer m_deadline;
    Results &m_results;
};

double percentile(QList<qint64> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(qMin(values.size() - 1, qsizetype(p * double(values.size())))) / 1000.0;
}

// The store the clients work on: items of 1 KiB spread over the collections, in batches.
bool fill(TestClient &client, const QList<qint64> &collections, qint64 items)
{
    for (qint64 i = 0; i < items; ++i) {
        if (i % 1000 == 0 && (i > 0 && !client.runOk("COMMIT")))
            return false;
        if (i % 1000 == 0 && !client.runOk("BEGIN"))
            return false;
        if (client.tvAppend(collections.at(i % collections.size()), "(PLD:RFC822 :1024)", QByteArray(1024, 'f')) <= 0)
            return false;
    }
    return client.runOk("COMMIT");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("clients"), QStringLiteral("Clients at once."), QStringLiteral("n"), QStringLiteral("32")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Length of the run."), QStringLiteral("s"), QStringLiteral("300")});
    parser.addOption({QStringLiteral("items"), QStringLiteral("Items in the store."), QStringLiteral("n"), QStringLiteral("100000")});
    parser.process(app);
    const int clients = parser.value(QStringLiteral("clients")).toInt();
    const int seconds = parser.value(QStringLiteral("seconds")).toInt();
    const qint64 items = parser.value(QStringLiteral("items")).toLongLong();

    TestServer server;
    if (!server.start({QStringLiteral("res1")})) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    TestClient setup;
    QList<qint64> collections;
    if (!server.login(setup, "res1"))
        return 1;
    for (int i = 0; i < Collections; ++i)
        collections.append(setup.create("\"c" + QByteArray::number(i) + "\" 0 (MIMETYPE (message/rfc822))"));
    QElapsedTimer filling;
    filling.start();
    if (!fill(setup, collections, items)) {
        std::fprintf(stderr, "filling failed: %s\n", setup.lastFailure().constData());
        return 1;
    }
    std::printf("# %s: %lld items filled in %.1f s; %d clients for %d s\n", qPrintable(server.backend().driver()),
                items, filling.elapsed() / 1000.0, clients, seconds);

    Results results;
    const QDeadlineTimer deadline(qint64(seconds) * 1000);
    std::vector<std::unique_ptr<StressClient>> threads;
    for (int i = 0; i < clients; ++i) {
        threads.push_back(std::make_unique<StressClient>(server.socketPath(), collections, items, deadline, results));
        threads.back()->start();
    }
    // Memory every 5 s; the figure per minute is the mean of its samples.
    const ProcessMemory memory(server.process().processId());
    QMap<int, QList<qint64>> perMinute;
    QElapsedTimer clock;
    clock.start();
    while (!deadline.hasExpired()) {
        QThread::sleep(5);
        if (deadline.hasExpired())
            break; // the clients are leaving
        perMinute[int(clock.elapsed() / 60000)].append(memory.residentKiB());
    }
    for (const auto &thread : threads)
        thread->wait();

    std::printf("%-22s %8s %7s %9s %9s\n", "command", "count", "errors", "p50 ms", "p99 ms");
    qint64 total = 0;
    for (auto it = results.latenciesUs.cbegin(); it != results.latenciesUs.cend(); ++it) {
        total += it.value().size();
        std::printf("%-22s %8lld %7d %9.2f %9.2f\n", it.key().constData(), qint64(it.value().size()),
                    results.errors.value(it.key()), percentile(it.value(), 0.5), percentile(it.value(), 0.99));
    }
    std::printf("commands/s %.0f\n", double(total) / seconds);
    for (auto it = perMinute.cbegin(); it != perMinute.cend(); ++it) {
        qint64 sum = 0;
        for (const qint64 kib : it.value())
            sum += kib;
        std::printf("server RSS minute %d: %lld KiB\n", it.key() + 1, sum / qMax<qint64>(1, it.value().size()));
    }
    for (const QByteArray &error : std::as_const(results.firstErrors))
        std::printf("# error: %s\n", error.constData());
    setup.disconnectFromServer();
    server.stop();
    return results.errors.isEmpty() ? 0 : 2;
}

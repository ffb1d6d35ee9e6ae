// Items through the preprocessor chain: clients append 1 KiB messages at once (4 x 500 by default)
// with no preprocessor, with one and with two talvori-header-preprocessor agents, each on a fresh
// server and database. For every item the time from sending its APPEND to its being visible: the
// answer to the APPEND without a chain, the announcement that its hidden part is gone with one
// (the server's notification interval is set to 1 ms here, so that the announcement follows the
// removal at once; the default 50 ms batching would add up to 50 ms).
//
//   bench_preprocessors [--backend QSQLITE3] [--runs 3] [--clients 4] [--count 500] [--chains 0,1,2]
//
// Figures per chain length n: chainN_rate (items from the first APPEND to the last visible, per
// second) and chainN_visible_p50 / _p99 (milliseconds) under that load, where items queue at the
// agents; then chainN_alone_p50 / _p99, the same time for items appended one at a time by one
// client that waits for each to be visible (--alone of them). Printed as "name value unit" with
// the median of the runs, then min, median, max and every run.

#include "../items/figuretable.h"
#include "agentprocess.h"
#include "chainwatch.h"
#include "notifylistener.h"
#include "testbus.h"
#include "testclient.h"
#include "testserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <latch>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    QString driver = QStringLiteral("QSQLITE3");
    int runs = 3;
    int clients = 4;
    int count = 500;
    int alone = 200;
    QList<int> chains{0, 1, 2};
};

struct Failure {
    QByteArray message;
};

void require(bool condition, const QByteArray &message)
{
    if (!condition)
        throw Failure{message};
}

const QList<QStringList> AgentRules{
    {QStringLiteral("--id"), QStringLiteral("bench_lists"), QStringLiteral("--flag"), QStringLiteral("$List"),
     QStringLiteral("--if-header"), QStringLiteral("List-Id")},
    {QStringLiteral("--id"), QStringLiteral("bench_junk"), QStringLiteral("--flag"), QStringLiteral("$Junk"),
     QStringLiteral("--if-header"), QStringLiteral("X-Spam-Flag: YES")},
};

QByteArray message(int client, int i)
{
    QByteArray text = "From: client" + QByteArray::number(client) + "@example.org\r\nSubject: message "
                      + QByteArray::number(i) + "\r\n";
    if (i % 2 == 0)
        text += "List-Id: <bench.example.org>\r\n";
    if (i % 3 == 0)
        text += "X-Spam-Flag: YES\r\n";
    text += "\r\n";
    return text + QByteArray(1024 - text.size(), 'x');
}

double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const qsizetype at = qBound<qsizetype>(0, qsizetype(p * (values.size() - 1) + 0.5), values.size() - 1);
    return values.isEmpty() ? 0 : values.at(at);
}

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void runChain(const Options &options, TestBus &bus, int agents, FigureTable &figures)
{
    TestServer server(bus, options.driver);
    require(server.prepare(), server.errorString().toLocal8Bit());
    server.environment().writeServerSettings(QStringLiteral("NotificationManager"), QStringLiteral("Interval"), 1);
    require(server.start({QStringLiteral("bench")}), server.errorString().toLocal8Bit());
    TestClient watcher;
    require(server.login(watcher, "bench"), "login");
    ChainWatch watch(server, watcher);

    std::vector<std::unique_ptr<AgentProcess>> processes;
    for (int a = 0; a < agents; ++a) {
        processes.push_back(std::make_unique<AgentProcess>(server.environment(), QStringLiteral("talvori-header-preprocessor"),
                                                           AgentRules.at(a)));
        require(watch.startAgent(*processes.back(), AgentRules.at(a).at(1)), "the agent did not register");
    }

    // When each item came out of hiding, as a client hears it.
    NotifyListener listener(bus.address());
    QHash<qint64, Clock::time_point> visibleAt;
    QObject::connect(&listener, &NotifyListener::arrived, [&] {
        const Clock::time_point now = Clock::now();
        for (const NotificationMessage &message : listener.batches.last()) {
            if (message.operation() == NotificationMessage::Modify && message.itemParts().contains("ATR:HIDDEN"))
                visibleAt.insert(message.uid(), now);
        }
        listener.batches.clear();
    });

    struct Sent {
        qint64 id;
        Clock::time_point sent;
        Clock::time_point answered;
    };
    QList<QList<Sent>> sent(options.clients);
    QList<QByteArray> errors(options.clients);
    std::atomic<int> finished = 0;
    std::latch ready(options.clients + 1);
    std::vector<std::thread> threads;
    const QString socket = server.socketPath();
    for (int c = 0; c < options.clients; ++c) {
        threads.emplace_back([&, c] {
            TestClient client;
            qint64 collection = -1;
            if (client.open(socket) && client.login("bench"))
                collection = client.create("\"bench" + QByteArray::number(c) + "\" 0 (MIMETYPE (message/rfc822))");
            QList<QByteArray> messages;
            for (int i = 0; i < options.count; ++i)
                messages.append(message(c, i));
            ready.arrive_and_wait();
            for (int i = 0; collection > 0 && i < options.count; ++i) {
                const Clock::time_point before = Clock::now();
                const qint64 id = client.tvAppend(collection, "(PLD:RFC822 :1024)", messages.at(i));
                if (id <= 0)
                    break;
                sent[c].append({id, before, Clock::now()});
            }
            if (sent[c].size() != options.count)
                errors[c] = client.lastFailure();
            client.logout();
            ++finished;
        });
    }
    ready.arrive_and_wait();
    const qint64 total = qint64(options.clients) * options.count;
    QElapsedTimer timeout;
    timeout.start();
    // The notifications are read on this thread while the clients append.
    while ((finished < options.clients || (agents > 0 && visibleAt.size() < total)) && timeout.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (std::thread &thread : threads)
        thread.join();
    for (const QByteArray &error : std::as_const(errors))
        require(error.isEmpty(), "append: " + error);

    Clock::time_point first = Clock::time_point::max();
    Clock::time_point last = Clock::time_point::min();
    QList<double> latencies;
    for (const QList<Sent> &items : std::as_const(sent)) {
        for (const Sent &item : items) {
            const Clock::time_point visible = agents > 0 ? visibleAt.value(item.id, Clock::time_point::min()) : item.answered;
            require(visible != Clock::time_point::min(), "an item did not come out of hiding");
            first = std::min(first, item.sent);
            last = std::max(last, visible);
            latencies.append(msBetween(item.sent, visible));
        }
    }
    const QByteArray name = "chain" + QByteArray::number(agents);
    figures.add(name + "_rate", total / (msBetween(first, last) / 1000.0), "items/s", 1);
    figures.add(name + "_visible_p50", percentile(latencies, 0.5), "ms", 2);
    figures.add(name + "_visible_p99", percentile(latencies, 0.99), "ms", 2);

    // One item at a time: the time through the chain itself.
    const qint64 collection = watcher.create("\"alone\" 0 (MIMETYPE (message/rfc822))");
    require(collection > 0, watcher.lastFailure());
    QList<double> alone;
    for (int i = 0; i < options.alone; ++i) {
        const Clock::time_point before = Clock::now();
        const qint64 id = watcher.tvAppend(collection, "(PLD:RFC822 :1024)", message(0, i));
        require(id > 0, watcher.lastFailure());
        Clock::time_point visible = Clock::now();
        if (agents > 0) {
            while (!visibleAt.contains(id) && timeout.elapsed() < 600000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            visible = visibleAt.value(id);
        }
        alone.append(msBetween(before, visible));
    }
    figures.add(name + "_alone_p50", percentile(alone, 0.5), "ms", 2);
    figures.add(name + "_alone_p99", percentile(alone, 0.99), "ms", 2);

    watcher.logout();
    processes.clear();
    require(server.stop() == 0, "the server did not stop cleanly");
}

bool parseOptions(const QCoreApplication &app, Options *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Items through the preprocessor chain: throughput and time to visible."));
    parser.addHelpOption();
    const QCommandLineOption backend(QStringLiteral("backend"), QStringLiteral("QSQLITE, QSQLITE3, QMYSQL or QPSQL"),
                                     QStringLiteral("driver"), options->driver);
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs of every figure"), QStringLiteral("n"),
                                  QString::number(options->runs));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Connections appending at once"),
                                     QStringLiteral("n"), QString::number(options->clients));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Items per connection"), QStringLiteral("n"),
                                   QString::number(options->count));
    const QCommandLineOption alone(QStringLiteral("alone"), QStringLiteral("Items appended one at a time"),
                                   QStringLiteral("n"), QString::number(options->alone));
    const QCommandLineOption chains(QStringLiteral("chains"), QStringLiteral("Chain lengths, comma-separated (0 to 2)"),
                                    QStringLiteral("list"), QStringLiteral("0,1,2"));
    parser.addOptions({backend, runs, clients, count, alone, chains});
    parser.process(app);
    options->driver = parser.value(backend);
    options->runs = parser.value(runs).toInt();
    options->clients = parser.value(clients).toInt();
    options->count = parser.value(count).toInt();
    options->alone = parser.value(alone).toInt();
    options->chains.clear();
    for (const QString &length : parser.value(chains).split(QLatin1Char(','))) {
        const int n = length.toInt();
        if (n < 0 || n > int(AgentRules.size()))
            return false;
        options->chains.append(n);
    }
    return options->runs > 0 && options->clients > 0 && options->count > 0 && options->alone > 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(app, &options)) {
        std::fprintf(stderr, "bad options (see --help)\n");
        return 2;
    }
    TempEnvironment busHome;
    TestBus bus;
    if (!bus.start(busHome.path())) {
        std::fprintf(stderr, "no private session bus (dbus-daemon)\n");
        return 1;
    }
    FigureTable figures;
    try {
        for (int run = 0; run < options.runs; ++run) {
            for (const int agents : std::as_const(options.chains))
                runChain(options, bus, agents, figures);
            figures.printRun(run);
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_preprocessors: %s\n", failure.message.constData());
        return 1;
    }
    std::printf("# bench_preprocessors on %s: %d clients x %d items of 1 KiB, %d runs\n", qPrintable(options.driver),
                options.clients, options.count, options.runs);
    figures.print();
    return 0;
}

// Item throughput of the server through its protocol, measured the way the reference mail-store
// benchmark measures its own (same workload, same message sizes, same figure names), plus the
// server's memory while it takes a 200 MiB upload.
//
// Each group of figures runs on a fresh server with a fresh database, logged in as a registered
// resource, in collections it creates itself:
//   small       X-TVAPPEND of 5,000 x 1 KiB on one connection (append_small_*), then on those
//               items UID FETCH 1:* FULLPAYLOAD (fetch_full_*), UID FETCH 1:* (FLAGS)
//               (fetch_flags_*), UID STORE 1:* (+FLAGS.SILENT (\SEEN)) (store_seen_*) and
//               UID STORE 1:* (+FLAGS (\FLAGGED)), answered with a flag line per item as the
//               reference's store_seen is (store_flagged_*)
//   large       X-TVAPPEND of 200 x 256 KiB (append_large_*)
//   concurrent  4 connections appending 1,000 x 1 KiB each at once, each into its own
//               collection (append_concurrent_*)
//   memory      a 200 MiB APPEND and a 200 MiB STORE part upload streamed from a generated
//               pattern; the server's idle RSS and its peak above idle for each
//   itemops     the small and the large messages appended into one collection and marked \SEEN
//               (untimed), then COPY 1:* of all of them to a second collection (copy_all_*), MOVE
//               1:* of the copies, selected, to a third (move_all_*), and STORE 1:*
//               (+FLAGS.SILENT (\DELETED)) of the moved ones, selected, then EXPUNGE
//               (expunge_all_*), each checked with STATUS
//
//   bench_items [--backend QSQLITE|QSQLITE3|QMYSQL|QPSQL] [--runs 3] [--only small,large,...] ...
//               (bench_items --help lists the sizes that can be changed)
//
// Prints "name value unit" lines with the median of the runs, then a comment block with min,
// median, max and every run. MiB = 1048576 bytes; rates are in msg/s.

#include "benchsupport.h"
#include "figuretable.h"
#include "messagegenerator.h"
#include "patterndevice.h"
#include "processmemory.h"
#include "testclient.h"
#include "testserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <latch>
#include <thread>

namespace {

using namespace BenchSupport;

constexpr double mebibyte = 1048576.0;
// The resource every connection logs in as; each server registers it.
const QByteArray resource = "bench";

struct Options
{
    QString driver = QStringLiteral("QSQLITE3");
    int runs = 3;
    int smallCount = 5000;
    int smallSize = 1024;
    int largeCount = 200;
    int largeSize = 262144;
    int concurrentConnections = 4;
    int concurrentCount = 1000;
    int concurrentSize = 1024;
    qint64 bigSize = 200 * 1048576LL;
    QStringList groups{QStringLiteral("small"), QStringLiteral("large"), QStringLiteral("concurrent"),
                       QStringLiteral("memory"), QStringLiteral("itemops")};
    // The reference appends the large messages into the same mailbox before it fetches, so its
    // fetch_full covers both sets; this does the same on one server.
    bool anchorOrder = false;
};

QList<QByteArray> makeMessages(const QByteArray &label, int count, int size)
{
    const MessageGenerator generator(label);
    QList<QByteArray> messages;
    messages.reserve(count);
    for (int i = 0; i < count; ++i)
        messages.append(generator.message(i, size));
    return messages;
}

// One part entry of a FETCH line: "<name>[<version>]? ( [FILE] )? {n}\r\n<bytes>"; NIL and ""
// count as not found. The value points into the line.
struct FetchedPart
{
    bool found = false;
    bool external = false;
    QByteArrayView value;
};

// A part of line from at, n bytes long, or empty where it runs off the end.
QByteArrayView slice(QByteArrayView line, qsizetype at, qsizetype n)
{
    return at >= 0 && n >= 0 && at + n <= line.size() ? line.sliced(at, n) : QByteArrayView();
}

FetchedPart partOf(QByteArrayView line, const QByteArray &name)
{
    FetchedPart part;
    // The part entries come after the fixed attributes, and the payload literal is the last
    // thing on the line, so the first occurrence of the name is the entry itself.
    qsizetype at = line.indexOf(QByteArray(' ' + name));
    if (at < 0)
        return part;
    at += name.size() + 1;
    if (slice(line, at, 1) == "[")
        at = line.indexOf(']', at) + 1;
    if (slice(line, at, 7) == " [FILE]") {
        part.external = true;
        at += 7;
    }
    while (at < line.size() && line.at(at) == ' ')
        ++at;
    if (slice(line, at, 1) != "{")
        return part;
    const qsizetype close = line.indexOf("}\r\n", at);
    bool ok = false;
    const qsizetype size = slice(line, at + 1, close - at - 1).toLongLong(&ok);
    if (close < 0 || !ok || close + 3 + size > line.size())
        return part;
    part.found = true;
    part.value = line.sliced(close + 3, size);
    return part;
}

// The decimal number after "<word> " in line, or -1.
qint64 numberAfter(QByteArrayView line, const QByteArray &word)
{
    const qsizetype at = line.indexOf(QByteArray(word + ' '));
    if (at < 0)
        return -1;
    const qsizetype from = at + word.size() + 1;
    qsizetype end = from;
    while (end < line.size() && line.at(end) >= '0' && line.at(end) <= '9')
        ++end;
    bool ok = false;
    const qint64 value = slice(line, from, end - from).toLongLong(&ok);
    return ok ? value : -1;
}

void addRate(FigureTable &figures, const QByteArray &prefix, qint64 count, qint64 bytes, double secs)
{
    figures.add(prefix + "_time", secs, "s", 4);
    figures.add(prefix + "_msgs", double(count), "msg", 0);
    figures.add(prefix + "_rate", count / secs, "msg/s", 1);
    if (bytes >= 0)
        figures.add(prefix + "_tput", bytes / mebibyte / secs, "MiB/s", 3);
}

// Appends messages one by one and adds the _time/_rate/_tput figures and the rates over the first
// and the last tenth (they show whether an append gets dearer as the collection fills).
// X-TVAPPEND of one "PLD:RFC822" part; the new item's id, or -1.
qint64 appendPart(TestClient &client, qint64 collection, const QByteArray &payload)
{
    return client.tvAppend(collection, "(PLD:RFC822 :" + QByteArray::number(payload.size()) + ')', payload);
}

// A collection for messages below the root; its id, or -1.
qint64 createCollection(TestClient &client, const QByteArray &name)
{
    return client.create('"' + name + "\" 0 (MIMETYPE (message/rfc822))");
}

QList<qint64> appendAll(TestClient &client, qint64 collection, const QList<QByteArray> &messages,
                        const QByteArray &prefix, FigureTable &figures)
{
    QList<qint64> uids;
    uids.reserve(messages.size());
    const qsizetype tenth = qMax<qsizetype>(1, messages.size() / 10);
    qint64 bytes = 0;
    double firstTenth = 0;
    double lastTenthStart = 0;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype i = 0; i < messages.size(); ++i) {
        if (i == messages.size() - tenth)
            lastTenthStart = seconds(timer);
        const qint64 uid = appendPart(client, collection, messages.at(i));
        require(uid > 0, client, prefix + ": ");
        uids.append(uid);
        bytes += messages.at(i).size();
        if (i == tenth - 1)
            firstTenth = seconds(timer);
    }
    const double total = seconds(timer);
    addRate(figures, prefix, messages.size(), bytes, total);
    figures.add(prefix + "_rate_first10pct", tenth / firstTenth, "msg/s", 1);
    figures.add(prefix + "_rate_last10pct", tenth / (total - lastTenthStart), "msg/s", 1);
    return uids;
}

// A fresh server for one group of figures.
void startServer(TestServer &server)
{
    // Debug output off: it would only cost time, and the log is read only when something fails.
    server.environment().setVariable(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    require(server.start({QString::fromLatin1(resource)}), server);
}

// Logs client in as the resource, patient enough for 200 MiB uploads on any backend.
bool login(TestClient &client, const QString &socketPath)
{
    client.setTimeout(300000);
    return client.open(socketPath) && client.login(resource);
}

void startServer(TestServer &server, TestClient &client)
{
    startServer(server);
    require(login(client, server.socketPath()), client, "login: ");
}

// (a) small appends, then (c) full fetch, (d) flag fetch and (e) \SEEN store on the same items.
void runSmallGroup(const Options &options, TestBus &bus, FigureTable &figures)
{
    const QList<QByteArray> small = makeMessages("small", options.smallCount, options.smallSize);
    TestServer server(bus, options.driver);
    TestClient client;
    startServer(server, client);
    const qint64 collection = createCollection(client, "bench");
    require(collection > 0, client);

    QHash<qint64, QByteArray> expected;
    const QList<qint64> smallUids = appendAll(client, collection, small, "append_small", figures);
    for (qsizetype i = 0; i < small.size(); ++i)
        expected.insert(smallUids.at(i), small.at(i));
    if (options.anchorOrder) {
        const QList<QByteArray> large = makeMessages("large", options.largeCount, options.largeSize);
        const QList<qint64> largeUids = appendAll(client, collection, large, "append_large", figures);
        for (qsizetype i = 0; i < large.size(); ++i)
            expected.insert(largeUids.at(i), large.at(i));
    }

    // (c) Each line is checked as it arrives, against the messages in memory: a comparison costs
    // less than keeping 50 MiB of lines for later.
    qint64 lines = 0;
    qint64 fetchedBytes = 0;
    qint64 matching = 0;
    qint64 previousUid = -1;
    bool ascending = true;
    const auto checkLine = [&](QByteArrayView line) {
        ++lines;
        const FetchedPart part = partOf(line, "PLD:RFC822");
        const qint64 uid = numberAfter(line, "(UID");
        ascending = ascending && uid > previousUid;
        previousUid = uid;
        fetchedBytes += part.value.size();
        if (part.found && !part.external && expected.value(uid) == part.value)
            ++matching;
    };
    QElapsedTimer timer;
    timer.start();
    require(client.runStreaming("UID FETCH 1:* FULLPAYLOAD", checkLine), client);
    addRate(figures, "fetch_full", lines, fetchedBytes, seconds(timer));
    const bool fetchVerified = ascending && lines == expected.size() && matching == expected.size();
    figures.add("fetch_full_verified", fetchVerified ? 1 : 0, "bool", 0);

    // (d)
    qint64 count = 0;
    const auto countFetchLines = [&count](QByteArrayView line) {
        if (line.contains(" FETCH "))
            ++count;
    };
    timer.restart();
    require(client.runStreaming("UID FETCH 1:* (FLAGS)", countFetchLines), client);
    addRate(figures, "fetch_flags", count, -1, seconds(timer));

    // (e) Silent: the server answers with the tagged line only.
    timer.restart();
    require(client.runOk("UID STORE 1:* (+FLAGS.SILENT (\\SEEN))"), client);
    addRate(figures, "store_seen", expected.size(), -1, seconds(timer));

    qint64 seen = 0;
    require(client.runStreaming("UID FETCH 1:* (FLAGS)",
                                [&seen](QByteArrayView line) {
                                    const qsizetype flags = line.indexOf("FLAGS (");
                                    if (flags >= 0 && line.indexOf("\\SEEN", flags) > flags)
                                        ++seen;
                                }),
            client);
    figures.add("store_seen_verified", seen == expected.size() ? 1 : 0, "bool", 0);

    // (f) Not silent: one flag line per item comes back, as the reference answers its store_seen.
    qint64 flagged = 0;
    timer.restart();
    require(client.runStreaming("UID STORE 1:* (+FLAGS (\\FLAGGED))",
                                [&flagged](QByteArrayView line) {
                                    if (line.contains(" FETCH ") && line.contains("\\FLAGGED"))
                                        ++flagged;
                                }),
            client);
    addRate(figures, "store_flagged", expected.size(), -1, seconds(timer));
    figures.add("store_flagged_verified", flagged == expected.size() ? 1 : 0, "bool", 0);
    client.logout();
}

// (b) large appends on their own server.
void runLargeGroup(const Options &options, TestBus &bus, FigureTable &figures)
{
    const QList<QByteArray> large = makeMessages("large", options.largeCount, options.largeSize);
    TestServer server(bus, options.driver);
    TestClient client;
    startServer(server, client);
    const qint64 collection = createCollection(client, "bench");
    require(collection > 0, client);
    appendAll(client, collection, large, "append_large", figures);
    client.logout();
}

// (f) Each connection logs in and creates its collection first; all start appending together.
void runConcurrentGroup(const Options &options, TestBus &bus, FigureTable &figures)
{
    using Clock = std::chrono::steady_clock;
    struct Worker
    {
        QList<QByteArray> messages;
        Clock::time_point start;
        Clock::time_point end;
        QByteArray error;
    };
    const int connections = options.concurrentConnections;
    QList<Worker> workers(connections);
    for (int i = 0; i < connections; ++i)
        workers[i].messages = makeMessages("conc" + QByteArray::number(i), options.concurrentCount,
                                           options.concurrentSize);

    TestServer server(bus, options.driver);
    startServer(server);
    const QString socket = server.socketPath();
    std::latch ready(connections + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < connections; ++i) {
        threads.emplace_back([&, i] {
            Worker &worker = workers[i];
            TestClient client;
            qint64 collection = -1;
            if (login(client, socket))
                collection = createCollection(client, "bench-c" + QByteArray::number(i));
            if (collection <= 0)
                worker.error = client.lastFailure();
            ready.arrive_and_wait();
            if (!worker.error.isEmpty())
                return;
            worker.start = Clock::now();
            for (const QByteArray &message : std::as_const(worker.messages)) {
                if (appendPart(client, collection, message) <= 0) {
                    worker.error = client.lastFailure();
                    return;
                }
            }
            worker.end = Clock::now();
            client.logout();
        });
    }
    ready.arrive_and_wait();
    for (std::thread &thread : threads)
        thread.join();

    Clock::time_point start = Clock::time_point::max();
    Clock::time_point end = Clock::time_point::min();
    double slowest = -1;
    qint64 count = 0;
    for (const Worker &worker : std::as_const(workers)) {
        require(worker.error.isEmpty(), "concurrent append: " + worker.error);
        start = std::min(start, worker.start);
        end = std::max(end, worker.end);
        count += worker.messages.size();
        const double rate = worker.messages.size() / std::chrono::duration<double>(worker.end - worker.start).count();
        slowest = slowest < 0 ? rate : std::min(slowest, rate);
    }
    addRate(figures, "append_concurrent", count, count * options.concurrentSize,
            std::chrono::duration<double>(end - start).count());
    figures.add("append_concurrent_conns", connections, "conn", 0);
    figures.add("append_concurrent_per_conn_min_rate", slowest, "msg/s", 1);
}

// The MESSAGES count of a collection's STATUS, or -1.
qint64 messageCount(TestClient &client, const QByteArray &collection)
{
    QList<QByteArray> lines;
    if (!client.runOk("STATUS " + collection + " (MESSAGES)", &lines))
        return -1;
    return lines.size() == 2 ? numberAfter(lines.first(), "(MESSAGES") : -1;
}

// (g), (h) and (i) on the reference's 5,200 items; as there, each set is selected before it is
// moved or expunged, and the timed commands are the only ones in their figure.
void runItemOpsGroup(const Options &options, TestBus &bus, FigureTable &figures)
{
    QList<QByteArray> messages = makeMessages("small", options.smallCount, options.smallSize);
    messages += makeMessages("large", options.largeCount, options.largeSize);
    TestServer server(bus, options.driver);
    TestClient client;
    startServer(server, client);
    const qint64 collection = createCollection(client, "bench");
    const qint64 copies = createCollection(client, "bench-copy");
    const qint64 moved = createCollection(client, "bench-moved");
    require(collection > 0 && copies > 0 && moved > 0, client);
    for (const QByteArray &message : std::as_const(messages))
        require(appendPart(client, collection, message) > 0, client, "itemops append: ");
    require(client.runOk("UID STORE 1:* (+FLAGS.SILENT (\\SEEN))"), client);
    const qint64 total = messages.size();
    const QByteArray copyBox = QByteArray::number(copies);
    const QByteArray movedBox = QByteArray::number(moved);

    QElapsedTimer timer;
    timer.start();
    require(client.runOk("COPY 1:* " + copyBox), client);
    addRate(figures, "copy_all", total, -1, seconds(timer));
    figures.add("copy_all_verified", messageCount(client, copyBox) == total ? 1 : 0, "bool", 0);

    require(client.runOk("SELECT SILENT " + copyBox), client);
    timer.restart();
    require(client.runOk("MOVE 1:* " + movedBox), client);
    addRate(figures, "move_all", total, -1, seconds(timer));
    figures.add("move_all_verified", messageCount(client, movedBox) == total ? 1 : 0, "bool", 0);

    require(client.runOk("SELECT SILENT " + movedBox), client);
    timer.restart();
    require(client.runOk("STORE 1:* (+FLAGS.SILENT (\\DELETED))"), client);
    require(client.runOk("EXPUNGE"), client);
    addRate(figures, "expunge_all", total, -1, seconds(timer));
    require(client.runOk("SELECT SILENT " + QByteArray::number(collection)), client);
    figures.add("expunge_all_verified",
                messageCount(client, movedBox) == 0 && messageCount(client, QByteArray::number(collection)) == total ? 1 : 0,
                "bool", 0);
    client.logout();
}

// Size and content of an item's "PLD:RFC822" part as stored: the server names the payload file
// (EXTERNALPAYLOAD), which is hashed here; a part kept in the database comes inline.
bool storedPartMatches(TestClient &client, qint64 item, qint64 size, const QByteArray &sha1)
{
    QList<QByteArray> lines;
    if (!client.runOk("UID FETCH " + QByteArray::number(item) + " EXTERNALPAYLOAD FULLPAYLOAD (SIZE)", &lines)) {
        std::fprintf(stderr, "%s\n", client.lastFailure().constData());
        return false;
    }
    for (const QByteArray &line : std::as_const(lines)) {
        if (!line.contains(" FETCH "))
            continue;
        const FetchedPart part = partOf(line, "PLD:RFC822");
        if (!part.found || numberAfter(line, " SIZE") != size)
            return false;
        if (!part.external)
            return part.value.size() == size && QCryptographicHash::hash(part.value, QCryptographicHash::Sha1) == sha1;
        QFile file(QString::fromUtf8(part.value));
        QCryptographicHash hash(QCryptographicHash::Sha1);
        return file.open(QIODevice::ReadOnly) && file.size() == size && hash.addData(&file) && hash.result() == sha1;
    }
    return false;
}

void runMemoryGroup(const Options &options, TestBus &bus, FigureTable &figures)
{
    TestServer server(bus, options.driver);
    TestClient client;
    startServer(server, client);
    const qint64 collection = createCollection(client, "bench");
    require(collection > 0, client);
    const qint64 item = appendPart(client, collection, MessageGenerator("store").message(0, 1024));
    require(item > 0, client);

    const ProcessMemory memory(server.process().processId());
    QThread::msleep(500);
    const qint64 idle = memory.residentKiB();
    require(idle > 0, "cannot read the server's memory use");
    figures.add("server_idle_rss", idle / 1024.0, "MiB", 1);
    const bool resets = memory.resetPeak();
    if (!resets)
        std::fprintf(stderr, "note: the peak cannot be reset, it counts from the server start\n");

    // A 200 MiB APPEND as one literal.
    PatternDevice appendSource(options.bigSize, PatternDevice::seedOf("append-big"));
    appendSource.open(QIODevice::ReadOnly);
    QElapsedTimer timer;
    timer.start();
    const qint64 appended = client.appendStream(collection, &appendSource, options.bigSize);
    const double appendSeconds = seconds(timer);
    const qint64 appendPeak = memory.peakKiB();
    require(appended > 0, client, "big APPEND: ");
    figures.add("append_200m_peak_over_idle", (appendPeak - idle) / 1024.0, "MiB", 1);
    figures.add("append_200m_tput", options.bigSize / mebibyte / appendSeconds, "MiB/s", 1);
    figures.add("append_200m_verified",
                storedPartMatches(client, appended, options.bigSize, appendSource.sha1()) ? 1 : 0, "bool", 0);

    // A 200 MiB upload of the payload part of an existing 1 KiB item.
    memory.resetPeak();
    PatternDevice storeSource(options.bigSize, PatternDevice::seedOf("store-big"));
    storeSource.open(QIODevice::ReadOnly);
    timer.restart();
    const bool stored = client.storePartStream(item, &storeSource, options.bigSize);
    const double storeSeconds = seconds(timer);
    const qint64 storePeak = memory.peakKiB();
    require(stored, client, "big STORE: ");
    figures.add("store_200m_peak_over_idle", (storePeak - idle) / 1024.0, "MiB", 1);
    figures.add("store_200m_tput", options.bigSize / mebibyte / storeSeconds, "MiB/s", 1);
    figures.add("store_200m_verified", storedPartMatches(client, item, options.bigSize, storeSource.sha1()) ? 1 : 0,
                "bool", 0);
    figures.add("server_rss_after_uploads", memory.residentKiB() / 1024.0, "MiB", 1);
    client.logout();
}

bool parseOptions(const QCoreApplication &app, Options *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Item append, fetch and store throughput through the protocol."));
    parser.addHelpOption();
    const auto valueOption = [&parser](const char *name, const char *description, const QString &defaultValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description), QStringLiteral("n"),
                                  defaultValue);
        parser.addOption(option);
        return option;
    };
    const QCommandLineOption backend = valueOption("backend", "QSQLITE, QSQLITE3, QMYSQL or QPSQL", options->driver);
    const QCommandLineOption runs = valueOption("runs", "Runs; the median is printed", QString::number(options->runs));
    const QCommandLineOption only = valueOption("only", "Comma-separated groups: small, large, concurrent, memory, itemops",
                                                options->groups.join(QLatin1Char(',')));
    const QCommandLineOption smallCount = valueOption("small-count", "Small messages", QString::number(options->smallCount));
    const QCommandLineOption smallSize = valueOption("small-size", "Small message bytes", QString::number(options->smallSize));
    const QCommandLineOption largeCount = valueOption("large-count", "Large messages", QString::number(options->largeCount));
    const QCommandLineOption largeSize = valueOption("large-size", "Large message bytes", QString::number(options->largeSize));
    const QCommandLineOption concConns = valueOption("conc-conns", "Concurrent connections",
                                                     QString::number(options->concurrentConnections));
    const QCommandLineOption concCount = valueOption("conc-count", "Messages per concurrent connection",
                                                     QString::number(options->concurrentCount));
    const QCommandLineOption concSize = valueOption("conc-size", "Concurrent message bytes",
                                                    QString::number(options->concurrentSize));
    const QCommandLineOption bigMib = valueOption("big-mib", "MiB of the big APPEND and STORE",
                                                  QString::number(options->bigSize / 1048576));
    const QCommandLineOption anchorOrder(QStringLiteral("anchor-order"),
                                         QStringLiteral("Append the large messages before the fetch on the same server, "
                                                        "as the reference does"));
    parser.addOption(anchorOrder);
    parser.process(app);

    bool ok = true;
    const auto number = [&](const QCommandLineOption &option, int minimum) {
        bool valid = false;
        const int value = parser.value(option).toInt(&valid);
        if (!valid || value < minimum) {
            std::fprintf(stderr, "--%s needs a number of at least %d\n", qPrintable(option.names().first()), minimum);
            ok = false;
        }
        return value;
    };
    const int messageMinimum = int(MessageGenerator::minimumSize());
    options->driver = parser.value(backend);
    options->runs = number(runs, 1);
    options->smallCount = number(smallCount, 1);
    options->smallSize = number(smallSize, messageMinimum);
    options->largeCount = number(largeCount, 1);
    options->largeSize = number(largeSize, messageMinimum);
    options->concurrentConnections = number(concConns, 1);
    options->concurrentCount = number(concCount, 1);
    options->concurrentSize = number(concSize, messageMinimum);
    options->bigSize = qint64(number(bigMib, 1)) * 1048576;
    options->anchorOrder = parser.isSet(anchorOrder);
    options->groups = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &group : std::as_const(options->groups)) {
        static const QStringList known{QStringLiteral("small"), QStringLiteral("large"), QStringLiteral("concurrent"),
                                       QStringLiteral("memory"), QStringLiteral("itemops")};
        if (!known.contains(group)) {
            std::fprintf(stderr, "unknown group %s\n", qPrintable(group));
            ok = false;
        }
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(app, &options))
        return 2;

    // The bus outlives every server: the benchmark's own bus connection is made once.
    TempEnvironment busHome;
    TestBus bus;
    if (!bus.start(busHome.path())) {
        std::fprintf(stderr, "no private session bus (dbus-daemon)\n");
        return 1;
    }

    std::printf("# bench_items %s, %d runs, groups %s%s; load average at start: %s\n",
                qPrintable(options.driver), options.runs, qPrintable(options.groups.join(QLatin1Char(','))),
                options.anchorOrder ? " (anchor order)" : "", loadAverage().constData());
    std::fflush(stdout);
    FigureTable figures;
    const QElapsedTimer wall = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    try {
        for (int run = 0; run < options.runs; ++run) {
            if (options.groups.contains(QLatin1String("small")))
                runSmallGroup(options, bus, figures);
            if (options.groups.contains(QLatin1String("large")) && !options.anchorOrder)
                runLargeGroup(options, bus, figures);
            if (options.groups.contains(QLatin1String("concurrent")))
                runConcurrentGroup(options, bus, figures);
            if (options.groups.contains(QLatin1String("memory")))
                runMemoryGroup(options, bus, figures);
            if (options.groups.contains(QLatin1String("itemops")))
                runItemOpsGroup(options, bus, figures);
            std::fprintf(stderr, "%s run %d of %d done\n", qPrintable(options.driver), run + 1, options.runs);
            figures.printRun(run);
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_items %s failed: %s\n", qPrintable(options.driver), failure.message.constData());
        if (!figures.isEmpty())
            figures.print();
        return 1;
    }
    figures.print();
    std::printf("# total %.1f s; load average at end: %s\n", seconds(wall), loadAverage().constData());
    return 0;
}

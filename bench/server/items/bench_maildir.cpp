// Item retrieval through a real resource: talvori-maildir-resource mirrors a generated Maildir of
// 10,000 messages (only their headers are cached), then one connection fetches them all whole,
// twice, in the resource's collection:
//   sync_*               the resource's first synchronisation, from start to its "synchronized"
//   fetch_full_first_*   FETCH 1:* FULLPAYLOAD with nothing cached: every message is asked of the
//                        resource over the bus and stored by it before the answer starts
//   fetch_full_cached_*  the same again, served from the database
// Every fetched message is compared with its file (fetch_full_verified). Each run has a fresh
// server, database and resource.
//
//   bench_maildir [--backend QSQLITE3|QSQLITE|QMYSQL|QPSQL] [--runs 3] [--count 10000] [--size 1024]
//
// Prints "name value unit" lines with the median of the runs (the reference benchmark's format;
// run-maildir-bench puts its figures beside them), then min, median, max and every run.

#include "maildirresourceprocess.h"
#include "benchsupport.h"
#include "fetchline.h"
#include "figuretable.h"
#include "maildirbuilder.h"
#include "messagegenerator.h"
#include "processcpu.h"
#include "testclient.h"
#include "testserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cstdio>

namespace {

using namespace BenchSupport;

constexpr double mebibyte = 1048576.0;

struct Options
{
    QString driver = QStringLiteral("QSQLITE3");
    int runs = 3;
    int count = 10000;
    int size = 1024;
};

// The messages of the Maildir by unique name, as the resource will know them.
QHash<QByteArray, QByteArray> writeMaildir(const QString &root, const Options &options)
{
    MaildirBuilder maildir(root);
    require(maildir.addFolder(), "cannot make the Maildir " + root.toLocal8Bit());
    const MessageGenerator generator("maildir");
    QHash<QByteArray, QByteArray> messages;
    for (int i = 0; i < options.count; ++i) {
        const QString unique = MaildirBuilder::uniqueName(i);
        const QByteArray content = generator.message(i, options.size);
        require(!maildir.addMessage(QString(), unique, content, QStringLiteral("S")).isEmpty(), "cannot write a message");
        messages.insert(unique.toUtf8(), content);
    }
    return messages;
}

// The processes a fetch keeps busy, to tell where its time goes.
struct Processes
{
    ProcessCpu server;
    ProcessCpu resource;
    ProcessCpu bus;
};

// One FETCH 1:* FULLPAYLOAD of the selected collection; false when a message differs from its file.
bool fetchAll(TestClient &client, const QHash<QByteArray, QByteArray> &messages, const QByteArray &prefix,
              const Processes &processes, FigureTable &figures, const QByteArray &command = "FETCH 1:* FULLPAYLOAD")
{
    const double server = processes.server.seconds();
    const double resource = processes.resource.seconds();
    const double bus = processes.bus.seconds();
    qint64 count = 0;
    qint64 bytes = 0;
    qint64 matching = 0;
    QElapsedTimer timer;
    timer.start();
    require(client.runStreaming(command,
                                [&](QByteArrayView line) {
                                    const QByteArray payload = FetchLine::partValue(line, "PLD:RFC822");
                                    ++count;
                                    bytes += payload.size();
                                    if (payload == messages.value(FetchLine::remoteId(line)))
                                        ++matching;
                                }),
            client, "FETCH: ");
    const double secs = seconds(timer);
    figures.add(prefix + "_time", secs, "s", 4);
    figures.add(prefix + "_msgs", double(count), "msg", 0);
    figures.add(prefix + "_rate", count / secs, "msg/s", 1);
    figures.add(prefix + "_mib_s", bytes / mebibyte / secs, "MiB/s", 2);
    figures.add(prefix + "_cpu_server", processes.server.seconds() - server, "s", 3);
    figures.add(prefix + "_cpu_resource", processes.resource.seconds() - resource, "s", 3);
    figures.add(prefix + "_cpu_bus", processes.bus.seconds() - bus, "s", 3);
    return count == messages.size() && matching == count;
}

void runOnce(const Options &options, TestBus &bus, FigureTable &figures)
{
    TestServer server(bus, options.driver);
    // Debug output off: it would only cost time, and the log is read only when something fails.
    server.environment().setVariable(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    require(server.start(), server);
    const QString root = server.environment().path() + QLatin1String("/Maildir");
    const QHash<QByteArray, QByteArray> messages = writeMaildir(root, options);

    MaildirResourceProcess agent(QStringLiteral("maildir_bench"), server);
    QElapsedTimer timer;
    timer.start();
    require(agent.start(root), agent.errorString().toLocal8Bit());
    require(agent.waitForSynchronized(1, 1800000), "no synchronisation:\n" + agent.errorOutput().right(4000));
    const double syncSeconds = seconds(timer);
    figures.add("sync_time", syncSeconds, "s", 4);
    figures.add("sync_rate", options.count / syncSeconds, "msg/s", 1);

    TestClient client;
    client.setTimeout(1800000);
    require(server.login(client, "bench-reader"), client, "login: ");
    QList<ListingLine> collections;
    collections = client.list("X-TVLIST 0 INF (RESOURCE \"maildir_bench\") ()");
    require(collections.size() == 1, "the resource has " + QByteArray::number(collections.size()) + " collections");
    require(client.runOk("SELECT SILENT " + QByteArray::number(collections.first().id)), client);

    const Processes processes{ProcessCpu(server.process().processId()), ProcessCpu(agent.process().processId()),
                              ProcessCpu(bus.processId())};
    const bool first = fetchAll(client, messages, "fetch_full_first", processes, figures);
    const bool cached = fetchAll(client, messages, "fetch_full_cached", processes, figures);
    fetchAll(client, messages, "fetch_full_cacheonly", processes, figures, "FETCH 1:* CACHEONLY FULLPAYLOAD");
    figures.add("fetch_full_verified", first && cached ? 1 : 0, "bool", 0);
    client.logout();
    agent.stop();
    require(server.stop() == 0, "the server did not stop cleanly");
}

bool parseOptions(const QCoreApplication &app, Options *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Retrieval of a Maildir's messages through talvori-maildir-resource."));
    parser.addHelpOption();
    const QCommandLineOption backend(QStringLiteral("backend"), QStringLiteral("Database driver."), QStringLiteral("driver"),
                                     options->driver);
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs, each on a fresh server."),
                                  QStringLiteral("n"), QString::number(options->runs));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Messages in the Maildir."), QStringLiteral("n"),
                                   QString::number(options->count));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Bytes per message."), QStringLiteral("bytes"),
                                  QString::number(options->size));
    parser.addOptions({backend, runs, count, size});
    parser.process(app);
    options->driver = parser.value(backend);
    options->runs = parser.value(runs).toInt();
    options->count = parser.value(count).toInt();
    options->size = parser.value(size).toInt();
    if (options->runs < 1 || options->count < 1 || options->size < int(MessageGenerator::minimumSize())) {
        std::fprintf(stderr, "runs and count must be positive, size at least %d\n", int(MessageGenerator::minimumSize()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(app, &options))
        return 2;

    // One bus for every run; the benchmark's own bus connection is made once.
    TempEnvironment busHome;
    TestBus bus;
    if (!bus.start(busHome.path())) {
        std::fprintf(stderr, "no private session bus (dbus-daemon)\n");
        return 1;
    }
    std::printf("# bench_maildir %s, %d runs of %d x %d bytes; load average at start: %s\n",
                qPrintable(options.driver), options.runs, options.count, options.size, loadAverage().constData());
    std::fflush(stdout);
    FigureTable figures;
    try {
        for (int run = 0; run < options.runs; ++run) {
            runOnce(options, bus, figures);
            figures.printRun(run);
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_maildir %s failed: %s\n", qPrintable(options.driver), failure.message.constData());
        if (!figures.isEmpty())
            figures.print();
        return 1;
    }
    figures.print();
    std::printf("# load average at end: %s\n", loadAverage().constData());
    return 0;
}

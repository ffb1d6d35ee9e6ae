// Full-text search with the server's own index ("Local" in Search/Manager) beside notmuch, on one
// Maildir of generated, realistic mails (MailCorpus), in one sitting:
//   import_sync_*    talvori-maildir-resource mirrors the Maildir (headers only), the index on
//   import_fetch_*   FETCH 1:* FULLPAYLOAD: the resource delivers every message into the store
//   index_lag_s      from the end of that fetch until the index has every body
//   index_build_*    the server started again on the same store with its index deleted: the time
//                    and rate it reports for building the index anew ("Search index up to date"),
//                    the server's processor time meanwhile, and the index's size on disk
//   search_*         20 fixed queries, each run --repeats times after one warm-up: SEARCH "q" (UID)
//                    round trips through the protocol (p50, p99), and the index alone
//                    (LocalIndex::search in this process, p50, p99)
//   notmuch_*        notmuch new on the same Maildir (a configuration and database of its own in a
//                    temporary directory): time, rate, processor time, size; notmuch search
//                    --output=files for the same queries, each run as often (p50, p99)
// The hits of every query by both are printed, and must agree.
//
//   bench_localsearch [--count 10000] [--repeats 10] [--backend QSQLITE3]

#include "benchsupport.h"
#include "figuretable.h"
#include "mailcorpus.h"
#include "maildirbuilder.h"
#include "maildirresourceprocess.h"
#include "processcpu.h"
#include "testclient.h"
#include "testserver.h"

#include "search/localindex.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>

namespace {

using namespace BenchSupport;

struct Options
{
    QString driver = QStringLiteral("QSQLITE3");
    int count = 10000;
    int repeats = 10;
};

struct BenchQuery
{
    QByteArray label;
    QByteArray local;
    QByteArray notmuch;
};

QList<BenchQuery> queries(const MailCorpus &corpus, int count)
{
    const MailCorpus::Person frequent = corpus.person(0);
    const MailCorpus::Person other = corpus.person(5);
    const MailCorpus::Person recipient = corpus.person(1);
    const QByteArray messageId = corpus.messageId(count / 3);
    const auto same = [](const char *label, const QByteArray &query) { return BenchQuery{label, query, query}; };
    return {
        same("common word", "meeting"),
        same("mid word", corpus.word(150)),
        same("rare word", corpus.word(3000)),
        same("two words", corpus.word(40) + ' ' + corpus.word(300)),
        same("phrase", '"' + corpus.word(0) + ' ' + corpus.word(28) + '"'),
        same("or", corpus.word(500) + " OR " + corpus.word(700)),
        same("not", corpus.word(20) + " NOT " + corpus.word(25)),
        same("sender name", "from:\"" + frequent.name.toUtf8() + '"'),
        same("sender address", "from:" + other.address),
        same("recipient", "to:" + recipient.address),
        same("subject word", "subject:" + corpus.word(30)),
        same("non-ascii word", "caf\xc3\xa9"),
        same("non-ascii name", "from:m\xc3\xbcller"),
        {"date range", "date:20200101..20201231", "date:2020-01-01..2020-12-31"},
        {"word in a year", corpus.word(10) + " date:20220101..20221231", corpus.word(10) + " date:2022-01-01..2022-12-31"},
        same("wildcard", "budg*"),
        same("stemmed", "reports"),
        same("body only", "body:" + corpus.word(60)),
        same("unique word", corpus.reference(count / 2)),
        {"message id", "msgid:" + messageId, "id:" + messageId},
    };
}

double percentile(QList<double> values, double fraction)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const qsizetype at = qBound<qsizetype>(0, qsizetype(std::ceil(fraction * values.size())) - 1, values.size() - 1);
    return values.at(at);
}

qint64 directorySize(const QString &path)
{
    qint64 size = 0;
    QDirIterator files(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        size += files.fileInfo().size();
    }
    return size;
}

void writeMaildir(const QString &root, const MailCorpus &corpus, int count)
{
    MaildirBuilder maildir(root);
    require(maildir.addFolder(), "cannot make the Maildir " + root.toLocal8Bit());
    for (int i = 0; i < count; ++i)
        require(!maildir.addMessage(QString(), MaildirBuilder::uniqueName(i), corpus.message(i), QStringLiteral("S")).isEmpty(),
                "cannot write a message");
}

// The processor time of the finished children of this process so far, in seconds.
double childrenCpu()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs notmuch with the configuration; its standard output. Throws when it fails.
QByteArray notmuch(const QString &config, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NOTMUCH_CONFIG"), config);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("notmuch"), arguments);
    require(process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            "notmuch " + arguments.join(QLatin1Char(' ')).toUtf8() + " failed: " + process.readAllStandardError());
    return process.readAllStandardOutput();
}

qsizetype lineCount(const QByteArray &output)
{
    return output.count('\n');
}

// Polls until condition holds; false after timeoutMs.
template<typename Condition>
bool waitFor(Condition condition, int timeoutMs, int pollMs = 50)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(pollMs);
    }
    return true;
}

qsizetype indexHits(const QByteArray &query)
{
    QList<qint64> ids;
    QString error;
    require(LocalIndex::search(QString::fromUtf8(query), &ids, &error), "query " + query + ": " + error.toUtf8());
    return ids.size();
}

void importAndIndex(TestServer &server, const QString &maildir, const Options &options, FigureTable &figures)
{
    MaildirResourceProcess agent(QStringLiteral("maildir_search"), server);
    const ProcessCpu serverCpu(server.process().processId());
    QElapsedTimer timer;
    timer.start();
    require(agent.start(maildir), agent.errorString().toLocal8Bit());
    require(agent.waitForSynchronized(1, 4 * 3600 * 1000), "no synchronisation:\n" + agent.errorOutput().right(4000));
    figures.add("import_sync_s", seconds(timer), "s", 2);

    TestClient client;
    client.setTimeout(4 * 3600 * 1000);
    require(server.login(client, "bench-search"), client, "login: ");
    const QList<ListingLine> collections = client.list("X-TVLIST 0 INF (RESOURCE \"maildir_search\") ()");
    require(collections.size() == 1, "the resource has " + QByteArray::number(collections.size()) + " collections");
    require(client.runOk("SELECT SILENT " + QByteArray::number(collections.first().id)), client);
    timer.restart();
    qsizetype fetched = 0;
    require(client.runStreaming("FETCH 1:* FULLPAYLOAD", [&fetched](QByteArrayView) { ++fetched; }), client, "FETCH: ");
    require(fetched == options.count, "fetched " + QByteArray::number(fetched) + " messages");
    figures.add("import_fetch_s", seconds(timer), "s", 2);
    figures.add("import_fetch_rate", options.count / seconds(timer), "msg/s", 0);

    // Every body has the word "ref" (MailCorpus::reference); the index has them all when it
    // finds it in every message.
    timer.restart();
    require(waitFor([&] { return indexHits("body:ref") == options.count; }, 3600 * 1000, 200),
            "the index never caught up with the import");
    figures.add("index_lag_s", seconds(timer), "s", 2);
    figures.add("import_cpu_server", serverCpu.seconds(), "s", 1);
    client.logout();
    agent.stop();
}

// Stops the server, which after a large import may take a while to write its database back.
void stopServer(TestServer &server, FigureTable &figures, const QByteArray &name)
{
    QElapsedTimer timer;
    timer.start();
    require(server.stop(600000) == 0, "the server did not stop cleanly");
    figures.add(name, seconds(timer), "s", 2);
}

void buildIndexAnew(TestServer &server, const Options &options, FigureTable &figures)
{
    stopServer(server, figures, "server_stop_after_import_s");
    const QString index = LocalIndex::path();
    require(QDir(index).removeRecursively(), "cannot delete the index");
    QElapsedTimer timer;
    timer.start();
    require(server.start(), server);
    const ProcessCpu serverCpu(server.process().processId());
    const QRegularExpression done(QStringLiteral("Search index up to date: (\\d+) items indexed in ([\\d.]+) s, (\\d+) items/s"));
    QRegularExpressionMatch match;
    require(waitFor([&] { return (match = done.match(QString::fromUtf8(server.errorLog()))).hasMatch(); }, 3600 * 1000, 100),
            "the index was not built:\n" + server.errorLog().right(2000));
    figures.add("index_build_wall_s", seconds(timer), "s", 2);
    require(match.captured(1).toInt() == options.count, "the index was built of " + match.captured(1).toUtf8() + " items");
    figures.add("index_build_s", match.captured(2).toDouble(), "s", 2);
    figures.add("index_build_rate", options.count / match.captured(2).toDouble(), "msg/s", 0);
    figures.add("index_build_cpu_server", serverCpu.seconds(), "s", 1);
    figures.add("index_size_mib", directorySize(index) / 1048576.0, "MiB", 1);
    require(indexHits("body:ref") == options.count, "the built index lacks bodies");
}

// One query's hits and times (ms) by both.
struct QueryFigures
{
    qsizetype local = -1;
    qsizetype notmuch = -1;
    QList<double> protocol;
    QList<double> index;
    QList<double> fetch;
    QList<double> notmuchMs;
};

QByteArray idSet(const QList<qint64> &ids)
{
    QByteArray set;
    for (const qint64 id : ids)
        set += (set.isEmpty() ? "" : ",") + QByteArray::number(id);
    return set;
}

void searchLocal(TestServer &server, const QList<BenchQuery> &list, const Options &options, FigureTable &figures,
                 QList<QueryFigures> &perQuery)
{
    TestClient client;
    client.setTimeout(600000);
    require(server.login(client, "bench-search"), client, "login: ");
    QList<double> protocol;
    QList<double> index;
    for (qsizetype q = 0; q < list.size(); ++q) {
        const QByteArray command = "SEARCH \"" + QByteArray(list.at(q).local).replace('"', "\\\"") + "\" (UID)";
        for (int run = 0; run <= options.repeats; ++run) {
            qsizetype lines = 0;
            QElapsedTimer timer;
            timer.start();
            require(client.runStreaming(command, [&lines](QByteArrayView) { ++lines; }), client, "SEARCH: ");
            const double ms = timer.nsecsElapsed() / 1e6;
            QList<qint64> ids;
            QString error;
            timer.restart();
            require(LocalIndex::search(QString::fromUtf8(list.at(q).local), &ids, &error), error.toUtf8());
            const double indexMs = timer.nsecsElapsed() / 1e6;
            require(ids.size() == lines, "SEARCH " + list.at(q).local + " gave " + QByteArray::number(lines)
                                             + " lines for " + QByteArray::number(ids.size()) + " hits");
            // The same lines without the index: what answering with the items costs.
            qsizetype fetched = 0;
            timer.restart();
            if (!ids.isEmpty())
                require(client.runStreaming("UID FETCH " + idSet(ids) + " (UID)", [&fetched](QByteArrayView) { ++fetched; }),
                        client, "UID FETCH: ");
            const double fetchMs = timer.nsecsElapsed() / 1e6;
            perQuery[q].local = lines;
            if (run == 0)
                continue; // warm-up
            protocol.append(ms);
            index.append(indexMs);
            perQuery[q].protocol.append(ms);
            perQuery[q].index.append(indexMs);
            perQuery[q].fetch.append(fetchMs);
        }
    }
    figures.add("search_protocol_p50_ms", percentile(protocol, 0.5), "ms", 2);
    figures.add("search_protocol_p99_ms", percentile(protocol, 0.99), "ms", 2);
    figures.add("search_index_p50_ms", percentile(index, 0.5), "ms", 3);
    figures.add("search_index_p99_ms", percentile(index, 0.99), "ms", 3);
    client.logout();
}

void runNotmuch(const QString &home, const QString &maildir, const QList<BenchQuery> &list, const Options &options,
                FigureTable &figures, QList<QueryFigures> &perQuery)
{
    const QString dir = home + QLatin1String("/notmuch");
    require(QDir().mkpath(dir + QLatin1String("/db")), "cannot make the notmuch directory");
    const QString config = dir + QLatin1String("/config");
    QFile file(config);
    require(file.open(QIODevice::WriteOnly), "cannot write the notmuch configuration");
    file.write("[database]\npath=" + QFile::encodeName(dir + QLatin1String("/db")) + "\nmail_root="
               + QFile::encodeName(maildir)
               + "\n[user]\nname=Bench\nprimary_email=bench@example.org\n[new]\ntags=\nignore=\n"
                 "[search]\nexclude_tags=\n[maildir]\nsynchronize_flags=false\n");
    file.close();

    const double cpu = childrenCpu();
    QElapsedTimer timer;
    timer.start();
    notmuch(config, {QStringLiteral("new"), QStringLiteral("--quiet")});
    const double secs = seconds(timer);
    figures.add("notmuch_new_s", secs, "s", 2);
    figures.add("notmuch_new_rate", options.count / secs, "msg/s", 0);
    figures.add("notmuch_new_cpu", childrenCpu() - cpu, "s", 1);
    figures.add("notmuch_size_mib", directorySize(dir + QLatin1String("/db")) / 1048576.0, "MiB", 1);

    QList<double> latencies;
    for (qsizetype q = 0; q < list.size(); ++q) {
        for (int run = 0; run <= options.repeats; ++run) {
            timer.restart();
            const QByteArray output = notmuch(config, {QStringLiteral("search"), QStringLiteral("--output=files"),
                                                       QString::fromUtf8(list.at(q).notmuch)});
            const double ms = timer.nsecsElapsed() / 1e6;
            perQuery[q].notmuch = lineCount(output);
            if (run == 0)
                continue;
            latencies.append(ms);
            perQuery[q].notmuchMs.append(ms);
        }
    }
    figures.add("notmuch_search_p50_ms", percentile(latencies, 0.5), "ms", 2);
    figures.add("notmuch_search_p99_ms", percentile(latencies, 0.99), "ms", 2);
}

bool parseOptions(const QCoreApplication &app, Options *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Full-text search with the server's own index beside notmuch."));
    parser.addHelpOption();
    const QCommandLineOption backend(QStringLiteral("backend"), QStringLiteral("Database driver."), QStringLiteral("driver"),
                                     options->driver);
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Mails in the Maildir."), QStringLiteral("n"),
                                   QString::number(options->count));
    const QCommandLineOption repeats(QStringLiteral("repeats"), QStringLiteral("Runs of each query after a warm-up."),
                                     QStringLiteral("n"), QString::number(options->repeats));
    parser.addOptions({backend, count, repeats});
    parser.process(app);
    options->driver = parser.value(backend);
    options->count = parser.value(count).toInt();
    options->repeats = parser.value(repeats).toInt();
    if (options->count < 10 || options->repeats < 1) {
        std::fprintf(stderr, "count must be at least 10 and repeats positive\n");
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

    std::printf("# bench_localsearch %s, %d mails, %d runs of each query; load average at start: %s\n",
                qPrintable(options.driver), options.count, options.repeats, loadAverage().constData());
    std::fflush(stdout);
    FigureTable figures;
    const MailCorpus corpus;
    const QList<BenchQuery> list = queries(corpus, options.count);
    QList<QueryFigures> perQuery(list.size());
    try {
        // With a bus of its own, which outlives the server's restart.
        TestServer server(options.driver);
        server.environment().setVariable(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
        require(server.prepare(), server);
        server.environment().writeServerSettings(QStringLiteral("Search"), QStringLiteral("Manager"),
                                                 QStringList{QStringLiteral("Local")});
        require(server.start(), server);
        const QString maildir = server.environment().path() + QLatin1String("/Maildir");
        QElapsedTimer timer;
        timer.start();
        writeMaildir(maildir, corpus, options.count);
        figures.add("maildir_write_s", seconds(timer), "s", 2);
        figures.add("maildir_size_mib", directorySize(maildir) / 1048576.0, "MiB", 1);

        importAndIndex(server, maildir, options, figures);
        buildIndexAnew(server, options, figures);
        searchLocal(server, list, options, figures, perQuery);
        stopServer(server, figures, "server_stop_s");
        runNotmuch(server.environment().path(), maildir, list, options, figures, perQuery);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_localsearch failed: %s\n", failure.message.constData());
        if (!figures.isEmpty())
            figures.print();
        return 1;
    }
    figures.print();
    std::printf("# per query, median ms: SEARCH through the protocol, the index alone, UID FETCH of the same items,\n"
                "# notmuch search; hits (talvori, notmuch)\n");
    bool agree = true;
    for (qsizetype q = 0; q < list.size(); ++q) {
        const QueryFigures &figure = perQuery.at(q);
        std::printf("#   %-16s %-40s %9.2f %8.3f %9.2f %9.2f %7lld %7lld%s\n", list.at(q).label.constData(),
                    list.at(q).local.constData(), percentile(figure.protocol, 0.5), percentile(figure.index, 0.5),
                    percentile(figure.fetch, 0.5), percentile(figure.notmuchMs, 0.5), qlonglong(figure.local),
                    qlonglong(figure.notmuch), figure.local == figure.notmuch ? "" : "  differ");
        agree = agree && figure.local == figure.notmuch;
    }
    std::printf("# load average at end: %s\n", loadAverage().constData());
    return agree ? 0 : 3;
}

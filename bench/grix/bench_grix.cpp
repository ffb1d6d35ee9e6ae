// Benchmarks of the graph library. One phase per run (the first argument), so the peak memory
// printed belongs to that phase alone:
//   save FILE [NODES EDGES]  build a graph (two user properties on every node and edge) and save it
//   load FILE                load a saved document
//   script [NODES EDGES]     a script builds a graph with add_node/add_edge
//   stop                     how long an endless script runs on after stop() from another thread
//   import FILE              plain-text import through the installed file plug-in
//   touch FILE               the same import, then a script that visits every node and its neighbours
//   graphml-save FILE [NODES EDGES]  the graph of "save", written as GraphML by its file plug-in
//   graphml-load FILE        a GraphML file read by that plug-in
//   complete NODES           the complete-graph tool on a graph of NODES nodes without edges
#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>
#include <fileplugininterface.h>
#include <pluginmanager.h>
#include <qtscriptbackend.h>
#include <toolsplugininterface.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>

namespace {

double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// CPU seconds (user + system) of this process so far. The machine may be shared, so the CPU
// time is the steadier figure; wall time is printed beside it.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double lastCpu = 0;

void report(const char *what, qint64 ms, const QString &extra = QString())
{
    const double cpu = cpuSeconds();
    std::printf("%-28s wall %8.3f s  cpu %8.3f s  peak RSS %7.1f MiB %s\n", what, double(ms) / 1000.0, cpu - lastCpu,
                peakMiB(), qPrintable(extra));
    std::fflush(stdout);
    lastCpu = cpu;
}

// A directed graph with two user properties on every node and edge, the same on every run.
void buildGraph(GraphDocument &doc, int nodeCount, int edgeCount)
{
    Graph *g = doc.addGraph(QStringLiteral("g"));
    g->setDirected(true);
    QList<Node *> nodes;
    nodes.reserve(nodeCount);
    for (int i = 0; i < nodeCount; ++i) {
        Node *n = g->addNode(QString::number(i));
        n->setPos(i % 1000, i / 1000);
        n->addDynamicProperty(QStringLiteral("weight"), i % 97);
        n->addDynamicProperty(QStringLiteral("label"), QStringLiteral("n%1").arg(i));
        nodes.append(n);
    }
    QRandomGenerator random(42);
    for (int i = 0; i < edgeCount; ++i) {
        Edge *e = g->addEdge(nodes.at(random.bounded(nodeCount)), nodes.at(random.bounded(nodeCount)));
        e->addDynamicProperty(QStringLiteral("cost"), i % 13);
        e->addDynamicProperty(QStringLiteral("kind"), QStringLiteral("road"));
    }
}

Grix::FilePluginInterface *filePlugin(const QString &extension)
{
    Grix::PluginManager::New()->loadFilePlugins();
    Grix::FilePluginInterface *plugin = Grix::PluginManager::New()->filePluginsByExtension(extension);
    if (!plugin)
        std::fprintf(stderr, "no file plug-in for .%s installed\n", qPrintable(extension));
    return plugin;
}

QString fileSize(const QString &file)
{
    return QStringLiteral("(%1 MiB file)").arg(QFileInfo(file).size() / 1048576.0, 0, 'f', 1);
}

int save(const QString &file, int nodeCount, int edgeCount, bool graphml)
{
    Grix::FilePluginInterface *plugin = graphml ? filePlugin(QStringLiteral("graphml")) : nullptr;
    if (graphml && !plugin)
        return 1;
    lastCpu = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    GraphDocument doc(QStringLiteral("bench"), 800, 600);
    buildGraph(doc, nodeCount, edgeCount);
    report("build graph", timer.restart(), QStringLiteral("(%1 nodes, %2 edges)").arg(nodeCount).arg(doc.first()->edges().size()));
    if (graphml ? !plugin->writeFile(doc, file) : !doc.saveAsInternalFormat(file))
        return 1;
    report(graphml ? "save GraphML" : "save .graph", timer.elapsed(), fileSize(file));
    return 0;
}

int loadGraphML(const QString &file)
{
    Grix::FilePluginInterface *plugin = filePlugin(QStringLiteral("graphml"));
    if (!plugin)
        return 1;
    lastCpu = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<GraphDocument> doc(plugin->readFile(file));
    if (!doc || doc->isEmpty())
        return 1;
    report("load GraphML", timer.elapsed(),
           QStringLiteral("(%1 nodes, %2 edges)").arg(doc->first()->nodes().size()).arg(doc->first()->edges().size()));
    return 0;
}

int load(const QString &file)
{
    lastCpu = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    GraphDocument doc(QStringLiteral("bench"), 800, 600);
    if (!doc.loadFromInternalFormat(file) || doc.isEmpty())
        return 1;
    report("load .graph", timer.elapsed(),
           QStringLiteral("(%1 nodes, %2 edges)").arg(doc.first()->nodes().size()).arg(doc.first()->edges().size()));
    return 0;
}

int script(int nodeCount, int edgeCount)
{
    GraphDocument doc(QStringLiteral("bench"), 800, 600);
    doc.addGraph(QStringLiteral("g"));
    QtScriptBackend backend;
    QString result;
    QObject::connect(&backend, &QtScriptBackend::sendDebug, [&](const QString &text) { result = text; });
    // A fixed xorshift sequence, so every run builds the same graph.
    backend.setScript(QStringLiteral("var seed = 2463534242; function next(n) { seed ^= seed << 13; seed ^= seed >>> 17;"
                                     " seed ^= seed << 5; return (seed >>> 0) % n; }"
                                     "var nodes = []; for (var i = 0; i < NODES; i++) nodes.push(g.add_node('n' + i));"
                                     "var made = 0; while (made < EDGES) { if (g.add_edge(nodes[next(NODES)], nodes[next(NODES)]) !== undefined) made++; }"
                                     "g.list_edges().length")
                          .replace(QLatin1String("NODES"), QString::number(nodeCount))
                          .replace(QLatin1String("EDGES"), QString::number(edgeCount)),
                      &doc);
    QElapsedTimer timer;
    lastCpu = cpuSeconds();
    timer.start();
    backend.start();
    report("script builds graph", timer.elapsed(), QStringLiteral("(%1 nodes, result %2 edges)").arg(nodeCount).arg(result));
    return result.toInt() == edgeCount ? 0 : 1;
}

int stopLatency()
{
    GraphDocument doc(QStringLiteral("bench"), 800, 600);
    doc.addGraph(QStringLiteral("g"));
    QThread worker;
    auto *backend = new QtScriptBackend;
    backend->moveToThread(&worker);
    doc.moveToThread(&worker);
    worker.start();
    QList<qint64> latencies;
    for (int run = 0; run < 10; ++run) {
        backend->setScript(QStringLiteral("var i = 0; while (true) { i++; }"), &doc);
        QMetaObject::invokeMethod(backend, &QtScriptBackend::start, Qt::QueuedConnection);
        while (!backend->isRunning())
            QThread::usleep(100);
        QThread::msleep(50);
        QElapsedTimer timer;
        timer.start();
        backend->stop();
        while (backend->isRunning())
            QThread::usleep(50);
        latencies.append(timer.nsecsElapsed() / 1000);
    }
    QMetaObject::invokeMethod(backend, &QObject::deleteLater, Qt::QueuedConnection);
    QMetaObject::invokeMethod(&doc, [&] { doc.moveToThread(QCoreApplication::instance()->thread()); }, Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
    std::sort(latencies.begin(), latencies.end());
    std::printf("%-34s median %lld us, max %lld us over %lld runs\n", "stop() until script returns",
                latencies.at(latencies.size() / 2), latencies.last(), qint64(latencies.size()));
    return 0;
}

int import(const QString &file, bool touch)
{
    Grix::FilePluginInterface *plugin = filePlugin(QStringLiteral("txt"));
    if (!plugin)
        return 1;
    QElapsedTimer timer;
    lastCpu = cpuSeconds();
    timer.start();
    std::unique_ptr<GraphDocument> doc(plugin->readFile(file));
    if (!doc)
        return 1;
    report(touch ? "import before the script" : "plain-text import", timer.restart(),
           QStringLiteral("(%1 nodes, %2 edges)").arg(doc->first()->nodes().size()).arg(doc->first()->edges().size()));
    if (!touch)
        return 0;
    QtScriptBackend backend;
    QString result;
    QObject::connect(&backend, &QtScriptBackend::sendDebug, [&](const QString &text) { result = text; });
    backend.setScript(QStringLiteral("var nodes = graphs[0].list_nodes(); var seen = 0;"
                                     "for (var i = 0; i < nodes.length; i++) seen += nodes[i].adj_nodes().length; seen"),
                      doc.get());
    backend.start();
    report("script visits every node", timer.elapsed(), QStringLiteral("(%1 neighbours seen)").arg(result));
    return 0;
}

int complete(int nodeCount)
{
    Grix::PluginManager *manager = Grix::PluginManager::New();
    if (!manager->loadToolPlugin(QStringLiteral("MakeComplete"))) {
        std::fprintf(stderr, "no complete-graph tool installed\n");
        return 1;
    }
    GraphDocument doc(QStringLiteral("bench"), 800, 600);
    Graph *g = doc.addGraph(QStringLiteral("g"));
    for (int i = 0; i < nodeCount; ++i)
        g->addNode(QString::number(i));
    QtScriptBackend backend;
    QElapsedTimer timer;
    lastCpu = cpuSeconds();
    timer.start();
    backend.runTool(manager->toolPlugin(QStringLiteral("MakeComplete")), &doc);
    report("complete-graph tool", timer.elapsed(),
           QStringLiteral("(%1 nodes, %2 edges)").arg(g->nodes().size()).arg(g->edges().size()));
    return g->edges().size() == qsizetype(nodeCount) * (nodeCount - 1) / 2 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("dax.debug=false"));
    const QStringList args = app.arguments().mid(1);
    const QString phase = args.value(0);
    if ((phase == QLatin1String("save") || phase == QLatin1String("graphml-save")) && args.size() >= 2)
        return save(args.at(1), args.value(2, QStringLiteral("100000")).toInt(), args.value(3, QStringLiteral("300000")).toInt(),
                    phase == QLatin1String("graphml-save"));
    if (phase == QLatin1String("graphml-load") && args.size() >= 2)
        return loadGraphML(args.at(1));
    if (phase == QLatin1String("load") && args.size() >= 2)
        return load(args.at(1));
    if (phase == QLatin1String("script"))
        return script(args.value(1, QStringLiteral("1000")).toInt(), args.value(2, QStringLiteral("10000")).toInt());
    if (phase == QLatin1String("stop"))
        return stopLatency();
    if ((phase == QLatin1String("import") || phase == QLatin1String("touch")) && args.size() >= 2)
        return import(args.at(1), phase == QLatin1String("touch"));
    if (phase == QLatin1String("complete"))
        return complete(args.value(1, QStringLiteral("1000")).toInt());
    std::fprintf(stderr, "usage: bench_grix save FILE [NODES EDGES] | load FILE | script [NODES EDGES] | stop | "
                         "import FILE | touch FILE | graphml-save FILE [NODES EDGES] | graphml-load FILE | complete [NODES]\n");
    return 2;
}

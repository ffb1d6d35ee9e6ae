// Scripts against documents: the script-visible members of graphs, nodes and edges, the print
// functions, stopping a runaway script, tools, and the bridge backend.
#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>
#include <qtscriptbackend.h>
#include <toolsplugininterface.h>
#include <vintobackend.h>

#include <daxvintoaction.h>

#include <QElapsedTimer>
#include <QJSEngine>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

namespace {

// Undirected graph "g": a, b, c with the edge a-b.
GraphDocument *fixture()
{
    auto *doc = new GraphDocument(QStringLiteral("d"), 800, 600);
    Graph *g = doc->addGraph(QStringLiteral("g"));
    for (const char *name : {"a", "b", "c"})
        g->addNode(QString::fromLatin1(name));
    g->addEdge(QStringLiteral("a"), QStringLiteral("b"));
    return doc;
}

QString summary(const Graph *g)
{
    QStringList nodes;
    for (const Node *n : g->nodes())
        nodes.append(n->name());
    QStringList edges;
    for (const Edge *e : g->edges())
        edges.append(e->from()->name() + '-' + e->to()->name());
    return nodes.join(',') + '|' + edges.join(',');
}

QString joined(const QSignalSpy &spy)
{
    QString text;
    for (const QList<QVariant> &args : spy)
        text += args.at(0).toString();
    return text;
}

// A tool as a plug-in library would define it, made here without the manager.
class ScriptTool : public Grix::ToolsPluginInterface
{
    Q_OBJECT
public:
    explicit ScriptTool(const QString &script)
        : Grix::ToolsPluginInterface(DaxComponentData(), nullptr)
        , m_script(script)
    {
    }
    QString run(GraphDocument *) override { return m_script; }

private:
    QString m_script;
};

} // namespace

class TestScriptBackend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scriptsChangeTheDocument_data();
    void scriptsChangeTheDocument();
    void namedGraphsAreGlobals();
    void scriptErrorsReachDebug();
    void loadFileReadsScript();
    void stopAbortsEndlessScriptFromAnotherThread();
    void stopWithoutEngineEmitsNothing();
    void runToolStartsOnlyWithScript();
    void vintoBackend();
};

void TestScriptBackend::scriptsChangeTheDocument_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("checks"); // node.property=value

    QTest::newRow("create and connect")
        << "var d = g.add_node('d'); var e = g.add_edge(g.node_byname('c'), d); output(e.start().name + e.end().name);"
        << "cd \n" << "a,b,c,d|a-b,c-d" << QStringList{};
    QTest::newRow("refused edge is undefined")
        << "output(g.add_edge(g.node_byname('b'), g.node_byname('a')) === undefined);"
        << "true \n" << "a,b,c|a-b" << QStringList{};
    QTest::newRow("adjacency queries")
        << "var a = g.node_byname('a'), b = g.node_byname('b');"
           "output(b.adj_nodes().map(function(n) { return n.name; }).join());"
           "output(a.adj_edges().length + ' ' + a.connected_edges(b).length + ' ' + a.output_edges().length"
           "       + ' ' + b.input_edges().length + ' ' + a.loop_edges().length);"
        << "a \n1 1 1 1 0 \n" << "a,b,c|a-b" << QStringList{};
    QTest::newRow("lists")
        << "output(g.list_nodes().length + ' ' + g.list_edges().length + ' ' + g.list_edges()[0].from().name);"
        << "3 1 a \n" << "a,b,c|a-b" << QStringList{};
    QTest::newRow("set properties")
        << "var a = g.node_byname('a'); a.color = 'red'; a.setPos(3.5, 4); a.value = 'v';"
           "g.list_edges()[0].setValue('w'); g.list_edges()[0].style = 'dot'; output(a.x + ' ' + a.y);"
        << "3.5 4 \n" << "a,b,c|a-b" << QStringList{"a.color=red", "a.x=3.5", "a.value=v"};
    QTest::newRow("dynamic properties")
        << "g.addNodesDynamicProperty('weight', 5); g.node_byname('c').removeDynamicProperty('weight');"
           "output(g.node_byname('b').weight + ' ' + g.node_byname('c').weight);"
        << "5 undefined \n" << "a,b,c|a-b" << QStringList{"b.weight=5", "c.weight="};
    QTest::newRow("directed with loop")
        << "g.directed = true; var a = g.node_byname('a'); g.add_edge(a, a); g.add_edge(a, g.node_byname('b'));"
           "output(a.loop_edges().length + ' ' + a.adj_nodes().length);"
        << "1 3 \n" << "a,b,c|a-b,a-a,a-b" << QStringList{};
    QTest::newRow("begin and ends")
        << "var a = g.node_byname('a'); a.setBegin(true); a.setEnd(true); a.setEnd(true);"
           "output(g.begin_node().name + ' ' + g.end_nodes().length + ' ' + a.begin);"
        << "a 2 true \n" << "a,b,c|a-b" << QStringList{"a.end=true"};
    QTest::newRow("no begin node") << "output(g.begin_node() === undefined && g.node_byname('z') === undefined);"
                                   << "true \n" << "a,b,c|a-b" << QStringList{};
    QTest::newRow("remove edge and node")
        << "g.remove(g.list_edges()[0]); g.node_byname('c').self_remove(); output(g.list_edges().length);"
        << "0 \n" << "a,b|" << QStringList{};
    QTest::newRow("remove node takes its edges") << "g.remove(g.node_byname('a'));" << "" << "b,c|" << QStringList{};
    QTest::newRow("node made by a plain slot is listed")
        << "g.addNode('x'); var l = g.list_nodes(); output(l[l.length - 1].name);" << "x \n" << "a,b,c,x|a-b"
        << QStringList{};
    QTest::newRow("overloads by argument type")
        << "var a = g.node_byname('a'), c = g.node_byname('c'); g.addEdge(a, c); g.addEdge('b', 'c');"
           "g.remove(g.list_edges()[0]); g.remove(undefined); g.remove(null); c.setValue('7');"
        << "" << "a,b,c|a-c,b-c" << QStringList{"c.value=7"};
    QTest::newRow("user properties read and written")
        << "var b = g.node_byname('b'); b.addDynamicProperty('rank', 2); b.rank = b.rank + 1; b.label = 'js only';"
           "g.addDynamicProperty('title', 'T'); output(b.rank + ' ' + g.title);"
        << "3 T \n" << "a,b,c|a-b" << QStringList{"b.rank=3", "b.label="};
    QTest::newRow("remove with a missing node keeps the graph")
        << "g.remove(g.node_byname('nobody')); g.remove(null); output(graphs.length);" << "1 \n" << "a,b,c|a-b" << QStringList{};
    QTest::newRow("graph colours") << "g.setNodesColor('green'); g.setEdgesColor('pink');" << "" << "a,b,c|a-b"
                                   << QStringList{"b.color=green"};
}

void TestScriptBackend::scriptsChangeTheDocument()
{
    QFETCH(QString, script);
    QFETCH(QString, output);
    QFETCH(QString, after);
    QFETCH(QStringList, checks);
    std::unique_ptr<GraphDocument> doc(fixture());
    QtScriptBackend backend;
    QSignalSpy out(&backend, &QtScriptBackend::sendOutput);
    QSignalSpy debug(&backend, &QtScriptBackend::sendDebug);
    backend.setScript(script, doc.get());
    backend.start();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!joined(debug).contains(QLatin1String("Error")), qPrintable(joined(debug)));
    QCOMPARE(joined(out), output);
    Graph *g = doc->first();
    QCOMPARE(summary(g), after);
    for (const QString &check : checks) {
        Node *n = g->node(check.section('.', 0, 0));
        QVERIFY(n);
        const QByteArray property = check.section('.', 1).section('=', 0, 0).toUtf8();
        QCOMPARE(n->property(property).toString(), check.section('=', 1));
    }
    if (g->edges().size() == 1 && script.contains(QLatin1String("style")))
        QCOMPARE(g->edges().first()->style(), QStringLiteral("dot"));
}

void TestScriptBackend::namedGraphsAreGlobals()
{
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    doc.addGraph(QStringLiteral("first"));
    doc.addGraph(QString());
    doc.addGraph(QStringLiteral("third"))->addNode(QStringLiteral("n"));
    QtScriptBackend backend;
    QSignalSpy out(&backend, &QtScriptBackend::sendOutput);
    QSignalSpy finished(&backend, &QtScriptBackend::finished);
    backend.setScript(QStringLiteral("output(graphs.length); output(first === graphs[0]);"
                                     "output(third.list_nodes()[0].name); output(typeof untitled); output()"),
                      &doc);
    backend.start();
    QCOMPARE(joined(out), QStringLiteral("3 \ntrue \nn \nundefined \nundefined \n"));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!backend.isRunning());

    // A graph removes itself when handed to its own remove().
    backend.setScript(QStringLiteral("third.remove(third); output(graphs.length)"), &doc);
    backend.start();
    QCOMPARE(out.last().at(0).toString(), QStringLiteral("3 \n"));
    QCOMPARE(doc.count(), 2);
}

void TestScriptBackend::scriptErrorsReachDebug()
{
    std::unique_ptr<GraphDocument> doc(fixture());
    QtScriptBackend backend;
    QSignalSpy debug(&backend, &QtScriptBackend::sendDebug);
    backend.setScript(QStringLiteral("debug('before');\n\nnosuch();"), doc.get());
    backend.start();
    QCOMPARE(debug.count(), 2);
    QCOMPARE(debug.at(0).at(0).toString(), QStringLiteral("before \n"));
    const QString error = debug.at(1).at(0).toString();
    QVERIFY2(error.contains(QLatin1String("ReferenceError")) && error.contains(QLatin1String("line 3")),
             qPrintable(error));
    // The last value of a script is its result.
    backend.setScript(QStringLiteral("6 * 7"), doc.get());
    backend.start();
    QCOMPARE(debug.last().at(0).toString(), QStringLiteral("42"));
}

void TestScriptBackend::loadFileReadsScript()
{
    QtScriptBackend backend;
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("output(1);\r\noutput(2);");
    file.close();
    backend.loadFile(file.fileName());
    QCOMPARE(backend.script(), QStringLiteral("output(1);\noutput(2);\n\n"));
    QTest::ignoreMessage(QtDebugMsg, "File not found");
    backend.loadFile(file.fileName() + QStringLiteral(".missing"));
    QCOMPARE(backend.script(), QString());
}

void TestScriptBackend::stopAbortsEndlessScriptFromAnotherThread()
{
    std::unique_ptr<GraphDocument> doc(fixture());
    QThread worker;
    auto *backend = new QtScriptBackend;
    backend->moveToThread(&worker);
    doc->moveToThread(&worker);
    connect(&worker, &QThread::finished, backend, &QObject::deleteLater);
    worker.start();
    QSignalSpy finished(backend, &QtScriptBackend::finished);
    backend->setScript(QStringLiteral("output('go'); while (true) {}"), doc.get());
    QSignalSpy out(backend, &QtScriptBackend::sendOutput);
    QMetaObject::invokeMethod(backend, &QtScriptBackend::start, Qt::QueuedConnection);
    QTRY_COMPARE(out.count(), 1);
    QVERIFY(backend->isRunning());
    QElapsedTimer timer;
    timer.start();
    backend->stop();
    QTRY_VERIFY_WITH_TIMEOUT(!backend->isRunning(), 5000);
    qInfo("script stopped %lld ms after stop()", timer.elapsed());
    QTRY_COMPARE(finished.count(), 2); // once from stop(), once when the evaluation returns
    QThread *mainThread = thread();
    QMetaObject::invokeMethod(doc.get(), [&] { doc->moveToThread(mainThread); }, Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
}

void TestScriptBackend::stopWithoutEngineEmitsNothing()
{
    QtScriptBackend backend;
    QSignalSpy finished(&backend, &QtScriptBackend::finished);
    backend.stop();
    QCOMPARE(finished.count(), 0);
    QCOMPARE(backend.engine(), nullptr);
}

void TestScriptBackend::runToolStartsOnlyWithScript()
{
    std::unique_ptr<GraphDocument> doc(fixture());
    QtScriptBackend backend;
    QSignalSpy created(&backend, &QtScriptBackend::engineCreated);
    ScriptTool empty{QString()};
    backend.runTool(&empty, doc.get());
    QCOMPARE(created.count(), 0);
    ScriptTool adder(QStringLiteral("graphs[0].add_node('t');"));
    backend.runTool(&adder, doc.get());
    QCOMPARE(created.count(), 1);
    QCOMPARE(summary(doc->first()), QStringLiteral("a,b,c,t|a-b"));
    QVERIFY(!backend.isRunning());
    // Not made by the manager: no registry entry, so no name.
    QCOMPARE(adder.displayName(), QString());
    QCOMPARE(adder.pluginId(), QStringLiteral("ScriptTool"));
}

void TestScriptBackend::vintoBackend()
{
    std::unique_ptr<GraphDocument> doc(fixture());
    auto *unnamed = doc->addGraph(QString());
    QList<QVariant> graphs{QVariant::fromValue<QObject *>(doc->first()), QVariant::fromValue<QObject *>(unnamed),
                           QVariant::fromValue<QObject *>(nullptr)};
    VintoBackend backend(&graphs);

    backend.setBackend(QStringLiteral("lua"));
    QTest::ignoreMessage(QtDebugMsg, "Backend Not Implemented Yet.");
    QCOMPARE(backend.execute(), nullptr);

    backend.setBackend(QStringLiteral("python"));
    backend.setScript(QStringLiteral("g.addNode('py')"));
    QTest::ignoreMessage(QtDebugMsg, "Graph is NULL");
    QTest::ignoreMessage(QtWarningMsg, "There is no interpreter \"python\"; the script was not run.");
    std::unique_ptr<DaxVintoAction> python(backend.execute());
    QVERIFY(python);
    QCOMPARE(backend.preamble(), QStringLiteral("# -*- coding: utf-8 -*- import g\n# -*- coding: utf-8 -*- "
                                                "# -*- coding: utf-8 -*- "));
    QVERIFY(python->hadError());
    QCOMPARE(doc->first()->nodes().size(), 3);

    backend.setBackend(QStringLiteral("ruby"));
    QTest::ignoreMessage(QtDebugMsg, "Graph is NULL");
    QTest::ignoreMessage(QtWarningMsg, "There is no interpreter \"ruby\"; the script was not run.");
    std::unique_ptr<DaxVintoAction> ruby(backend.execute());
    QCOMPARE(backend.preamble(), QStringLiteral("require 'g' \n"));

    backend.setBackend(QStringLiteral("javascript"));
    backend.setScript(QStringLiteral("g.addNode('js'); typeof untitled"));
    QTest::ignoreMessage(QtDebugMsg, "Graph is NULL");
    std::unique_ptr<DaxVintoAction> js(backend.execute());
    QVERIFY2(!js->hadError(), qPrintable(js->errorText()));
    QCOMPARE(js->objectName(), QStringLiteral("myScript"));
    QCOMPARE(js->result(), QStringLiteral("undefined"));
    QCOMPARE(summary(doc->first()), QStringLiteral("a,b,c,js|a-b"));
}

QTEST_GUILESS_MAIN(TestScriptBackend)
#include "tst_scriptbackend.moc"

// The complete-graph tool, loaded through the manager and run by the script backend.
#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>
#include <pluginmanager.h>
#include <qtscriptbackend.h>
#include <toolsplugininterface.h>

#include <QSet>
#include <QTest>

class TestMakeComplete : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void makesEveryGraphComplete_data();
    void makesEveryGraphComplete();
    void readOnlyGraphLosesItsEdges();

private:
    Grix::ToolsPluginInterface *m_tool = nullptr;
};

void TestMakeComplete::initTestCase()
{
    QVERIFY(Grix::PluginManager::New()->loadToolPlugin(QStringLiteral("MakeComplete")));
    m_tool = Grix::PluginManager::New()->toolPlugin(QStringLiteral("MakeComplete"));
    QVERIFY(m_tool);
}

void TestMakeComplete::makesEveryGraphComplete_data()
{
    QTest::addColumn<int>("nodes");
    QTest::addColumn<bool>("directed");
    QTest::addColumn<bool>("withEdges");
    for (int n : {0, 1, 2, 50}) {
        for (bool directed : {false, true}) {
            for (bool withEdges : {false, true}) {
                QTest::addRow("%d nodes, %s, %s", n, directed ? "directed" : "undirected",
                              withEdges ? "with edges" : "no edges")
                    << n << directed << withEdges;
            }
        }
    }
}

void TestMakeComplete::makesEveryGraphComplete()
{
    QFETCH(int, nodes);
    QFETCH(bool, directed);
    QFETCH(bool, withEdges);
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    // Two graphs, so the tool is seen to walk them all; the second is a small fixed one.
    Graph *g = doc.addGraph(QStringLiteral("g"));
    g->setDirected(directed);
    for (int i = 0; i < nodes; ++i)
        g->addNode(QString::number(i));
    if (withEdges && nodes > 1) {
        // Reverse, loop and parallel edges where the graph allows them.
        g->addEdge(g->nodes().last(), g->nodes().first());
        g->addEdge(g->nodes().first(), g->nodes().first());
        g->addEdge(g->nodes().last(), g->nodes().first());
        g->addEdge(g->nodes().at(1), g->nodes().at(0));
    }
    Graph *h = doc.addGraph(QStringLiteral("h"));
    for (const char *name : {"x", "y", "z"})
        h->addNode(QString::fromLatin1(name));

    QtScriptBackend backend;
    backend.runTool(m_tool, &doc);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!backend.lastRunFailed());

    QCOMPARE(g->nodes().size(), nodes);
    QCOMPARE(g->edges().size(), nodes * (nodes - 1) / 2);
    // Exactly one edge per pair, always from the earlier node to the later one.
    QSet<QPair<int, int>> pairs;
    for (const Edge *e : g->edges()) {
        const int from = int(g->nodes().indexOf(e->from()));
        const int to = int(g->nodes().indexOf(e->to()));
        QVERIFY2(from < to, qPrintable(QStringLiteral("%1->%2").arg(from).arg(to)));
        const QPair<int, int> pair(from, to);
        QVERIFY(!pairs.contains(pair));
        pairs.insert(pair);
    }
    QCOMPARE(h->edges().size(), 3);
}

void TestMakeComplete::readOnlyGraphLosesItsEdges()
{
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    Graph *g = doc.addGraph(QStringLiteral("g"));
    for (const char *name : {"a", "b", "c"})
        g->addNode(QString::fromLatin1(name));
    g->addEdge(QStringLiteral("a"), QStringLiteral("b"));
    g->readOnly(true);
    QtScriptBackend backend;
    backend.runTool(m_tool, &doc);
    QCOMPARE(g->nodes().size(), 3);
    QVERIFY(g->edges().isEmpty());
}

QTEST_GUILESS_MAIN(TestMakeComplete)
#include "tst_makecomplete.moc"

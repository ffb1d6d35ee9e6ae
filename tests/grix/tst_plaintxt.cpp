// The plain-text file plug-in, loaded through the manager as a program would.
#include <edge.h>
#include <fileplugininterface.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>
#include <pluginmanager.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// "a@0,0,b@1,2|a-b": nodes with positions, then edges, in list order.
QString summary(const Graph *g)
{
    QStringList nodes;
    for (const Node *n : g->nodes())
        nodes.append(QStringLiteral("%1@%2,%3").arg(n->name()).arg(n->x()).arg(n->y()));
    QStringList edges;
    for (const Edge *e : g->edges())
        edges.append(e->from()->name() + '-' + e->to()->name());
    return nodes.join(',') + '|' + edges.join(',');
}

} // namespace

class TestPlainTxt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsLines_data();
    void readsLines();
    void reportsUnreadableFile();
    void warnsAboutWhatItLeavesOut();
    void writeThenRead();
    void writeFailuresKeepTheFile();
    void readsSharedGraphFiles_data();
    void readsSharedGraphFiles();

private:
    QString write(const QByteArray &bytes);

    Grix::FilePluginInterface *m_plugin = nullptr;
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString TestPlainTxt::write(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("in%1.txt").arg(m_files++));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

void TestPlainTxt::initTestCase()
{
    Grix::PluginManager::New()->loadFilePlugins();
    m_plugin = Grix::PluginManager::New()->filePluginsByExtension(QStringLiteral("txt"));
    QVERIFY2(m_plugin, "grix_plaintxt not found in the plug-in directory");
    QCOMPARE(m_plugin->extensions(), QStringList{QStringLiteral("*.txt|Plain TXT Files\n")});
}

void TestPlainTxt::readsLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty file") << QByteArray() << "|";
    QTest::newRow("edge both ways is one edge") << QByteArray("a\nb\na b\nb a\n") << "a@0,0,b@0,0|a-b";
    QTest::newRow("positions truncate") << QByteArray("c 10.9 -3.2\n") << "c@10,-3|";
    QTest::newRow("edge to unknown node") << QByteArray("a\na z\nz a\n") << "a@0,0|";
    QTest::newRow("repeated name moves the first")
        << QByteArray("x\nx 1 2\ny\nx y\n") << "x@1,2,x@0,0,y@0,0|x-y";
    QTest::newRow("edges before nodes") << QByteArray("a b\na\nb\n") << "a@0,0,b@0,0|a-b";
    QTest::newRow("blank and long lines ignored") << QByteArray("\n   \na\nb\na b c d\n\t\n") << "a@0,0,b@0,0|";
    QTest::newRow("loop and duplicate refused") << QByteArray("a\nb\na a\na b\na b\n") << "a@0,0,b@0,0|a-b";
    QTest::newRow("runs of spaces") << QByteArray("  a  \nb\na     b\n") << "a@0,0,b@0,0|a-b";
    QTest::newRow("CRLF") << QByteArray("a\r\nb 3 4\r\na b\r\n") << "a@0,0,b@3,4|a-b";
    QTest::newRow("non-numeric position") << QByteArray("p x y\n") << "p@0,0|";
    QTest::newRow("non-UTF-8") << QByteArray("caf\xe9\n\xff\xfe\n") << QStringLiteral("caf\uFFFD@0,0,\uFFFD\uFFFD@0,0|");
    QTest::newRow("very long line") << QByteArray(300000, 'n') + "\n" << QString(300000, 'n') + "@0,0|";
}

void TestPlainTxt::readsLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    std::unique_ptr<GraphDocument> doc(m_plugin->readFile(write(text)));
    QVERIFY2(doc, qPrintable(m_plugin->lastError()));
    QCOMPARE(doc->name(), QStringLiteral("Untitled"));
    QCOMPARE(doc->count(), 1);
    QCOMPARE(doc->activeGraph(), doc->first());
    QCOMPARE(doc->first()->name(), QStringLiteral("untitled"));
    QVERIFY(!doc->first()->directed());
    QCOMPARE(summary(doc->first()), expected);
}

void TestPlainTxt::reportsUnreadableFile()
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.txt"));
    QCOMPARE(m_plugin->readFile(missing), nullptr);
    QCOMPARE(m_plugin->lastError(), QStringLiteral("Cannot open the file %1. Error: No such file or directory").arg(missing));
    QCOMPARE(m_plugin->readFile(m_dir.path()), nullptr);
    QVERIFY(m_plugin->lastError().startsWith(QLatin1String("Cannot open the file")));
}

void TestPlainTxt::warnsAboutWhatItLeavesOut()
{
    // An adjacency list as other tools write it is not this format: it must not read silently.
    std::unique_ptr<GraphDocument> doc(m_plugin->readFile(write("#-\n# name\n0 1 2 3\n1 2\n2\n\n3\na b\n3 3\n2 3\n3 2\n")));
    QVERIFY(doc);
    QCOMPARE(summary(doc->first()), QStringLiteral("#-@0,0,2@0,0,3@0,0|2-3"));
    QCOMPARE(m_plugin->warnings(),
             (QStringList{"Lines of more than three words were ignored: once, at line 3",
                          "Edges naming a node that has no line of its own were ignored: 3 times, first at line 2",
                          "Loops and second edges between two nodes, which the undirected graph does not have, were ignored: "
                          "2 times, first at line 9"}));
    std::unique_ptr<GraphDocument> clean(m_plugin->readFile(write("a\nb\na b\n")));
    QVERIFY(clean);
    QVERIFY(m_plugin->warnings().isEmpty());
}

void TestPlainTxt::writeThenRead()
{
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    doc.addGraph(QStringLiteral("other"))->addNode(QStringLiteral("ignored"));
    Graph *g = doc.addGraph(QStringLiteral("g"));
    g->addNode(QStringLiteral("a"), QPointF(10, 20));
    g->addNode(QStringLiteral("b"), QPointF(-5, 12.5));
    g->addNode(QStringLiteral("c"));
    g->addEdge(QStringLiteral("a"), QStringLiteral("b"));
    g->addEdge(QStringLiteral("c"), QStringLiteral("a"));
    const QString path = m_dir.filePath(QStringLiteral("out.txt"));
    QVERIFY(m_plugin->writeFile(doc, path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("a 10 20\nb -5 12.5\nc 0 0\na b\nc a\n"));

    std::unique_ptr<GraphDocument> back(m_plugin->readFile(path));
    QVERIFY(back);
    QCOMPARE(summary(back->first()), QStringLiteral("a@10,20,b@-5,12,c@0,0|a-b,c-a"));
}

void TestPlainTxt::writeFailuresKeepTheFile()
{
    const QString path = write("keep me\n");
    GraphDocument empty(QStringLiteral("e"), 800, 600);
    QVERIFY(!m_plugin->writeFile(empty, path));
    QCOMPARE(m_plugin->lastError(), QStringLiteral("No active graph in this document."));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me\n"));

    GraphDocument doc(QStringLiteral("d"), 800, 600);
    doc.addGraph();
    const QString nowhere = m_dir.filePath(QStringLiteral("no/such/dir/out.txt"));
    QVERIFY(!m_plugin->writeFile(doc, nowhere));
    QVERIFY(m_plugin->lastError().startsWith(QStringLiteral("Cannot open file %1 to write the document. Error: ").arg(nowhere)));
}

void TestPlainTxt::readsSharedGraphFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("karate") << "karate.graph";
    QTest::newRow("lesmis") << "lesmis.graph";
    QTest::newRow("power") << "power.graph";
    QTest::newRow("lanl routes") << "lanl_routes.edgelist";
}

void TestPlainTxt::readsSharedGraphFiles()
{
    QFETCH(QString, file);
    const QString path = QDir(qEnvironmentVariable("TALVORI_SHARED_DIR")).filePath(QStringLiteral("testdata/graphs/") + file);
    if (qEnvironmentVariableIsEmpty("TALVORI_SHARED_DIR") || !QFile::exists(path))
        QSKIP("The shared graph files (../shared/testdata/graphs) are not here.");
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    int nodeLines = 0;
    int edgeLines = 0;
    while (!raw.atEnd()) {
        const int words = int(QString::fromUtf8(raw.readLine()).trimmed().split(' ', Qt::SkipEmptyParts).size());
        nodeLines += (words == 1 || words == 3);
        edgeLines += (words == 2);
    }
    std::unique_ptr<GraphDocument> doc(m_plugin->readFile(path));
    QVERIFY2(doc, qPrintable(m_plugin->lastError()));
    const Graph *g = doc->first();
    QCOMPARE(g->nodes().size(), nodeLines);
    QVERIFY(g->edges().size() <= edgeLines);
    // Whatever the file held, the graph keeps its rules: no loops, one edge per pair.
    QSet<QPair<const Node *, const Node *>> pairs;
    for (const Edge *e : g->edges()) {
        QVERIFY(e->from() != e->to());
        const QPair<const Node *, const Node *> pair(e->from(), e->to());
        const QPair<const Node *, const Node *> reverse(e->to(), e->from());
        QVERIFY(!pairs.contains(pair) && !pairs.contains(reverse));
        pairs.insert(pair);
    }
    if (file == QLatin1String("lanl_routes.edgelist")) {
        // Every line has three words, so each is a node at a position: 1363 nodes, no edges.
        QCOMPARE(g->nodes().size(), 1363);
        QCOMPARE(g->edges().size(), 0);
        QCOMPARE(summary(g).section(',', 0, 1), QStringLiteral("1@0,9"));
    }
}

QTEST_GUILESS_MAIN(TestPlainTxt)
#include "tst_plaintxt.moc"

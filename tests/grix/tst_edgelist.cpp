// The edge-list file plug-in (".edgelist" and ".adjlist"), loaded through the manager.
#include "graphtext.h"

#include <edge.h>
#include <fileplugininterface.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>
#include <pluginmanager.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// "a,b|a-b{weight=f:2.0}": nodes, then edges with their user properties, in list order.
QString summary(const Graph *g)
{
    QStringList nodes;
    for (const Node *n : g->nodes())
        nodes.append(n->name());
    QStringList edges;
    for (const Edge *e : g->edges())
        edges.append(e->from()->name() + '-' + e->to()->name() + GraphText::userProperties(e));
    return nodes.join(',') + '|' + edges.join(',');
}

} // namespace

class TestEdgeList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void reads_data();
    void reads();
    void writeThenRead_data();
    void writeThenRead();
    void namesThatCannotBeWrittenFail();

private:
    QString write(const QByteArray &bytes, const QString &suffix);

    Grix::FilePluginInterface *m_plugin = nullptr;
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString TestEdgeList::write(const QByteArray &bytes, const QString &suffix)
{
    const QString path = m_dir.filePath(QStringLiteral("in%1.%2").arg(m_files++).arg(suffix));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

void TestEdgeList::initTestCase()
{
    Grix::PluginManager::New()->loadFilePlugins();
    m_plugin = Grix::PluginManager::New()->filePluginsByExtension(QStringLiteral("edgelist"));
    QVERIFY2(m_plugin, "grix_edgelist not found in the plug-in directory");
    QCOMPARE(Grix::PluginManager::New()->filePluginsByExtension(QStringLiteral("adjlist")), m_plugin);
}

void TestEdgeList::reads_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("warnings");
    QTest::newRow("plain, weighted, data, comments, isolated")
        << "edgelist"
        << QByteArray("# made by hand\na b\nb c 2.5\nc d {'weight': 3, 'color': \"red\", 'ok': True, 'w2': -1e-05}  # trailing\n"
                      "lone\n\n  x\ty  \n")
        << "a,b,c,d,lone,x,y|a-b,b-c{weight=f:2.5},c-d{weight=i:3,ok=b:True,w2=f:-1e-05},x-y" << QStringList();
    QTest::newRow("names with any characters but blanks")
        << "edgelist" << QByteArray("Jos\xc3\xa9 {x}\n(1,2) 'q'\n") << "José,{x},(1,2),'q'|José-{x},(1,2)-'q'" << QStringList();
    QTest::newRow("string escapes in data")
        << "edgelist" << QByteArray("a b {'s': 'it\\'s \\u00e9\\n', 'n': None}\n") << "a,b|a-b{s=s:it's é\n}"
        << QStringList{"Data values None were left out: once, at line 1"};
    QTest::newRow("adjacency list")
        << "adjlist" << QByteArray("#-\n# GMT\n# name\n0 1 2\n1 2\n2\n3\n") << "0,1,2,3|0-1,0-2,1-2" << QStringList();
    QTest::newRow("what is left out is counted")
        << "edgelist" << QByteArray("a b\nb a\na a\na b c\na b {'w': \na b {weight: 1}\nc d 1 2\n") << "a,b|a-b"
        << QStringList{"Loops and second edges between two nodes, which an undirected graph does not have, were left out: 2 times, "
                       "first at line 2",
                       "Lines with more than two names and no weight or data dictionary were left out: 2 times, first at line 4",
                       "Lines whose data dictionary could not be read were left out: 2 times, first at line 5"};
    QTest::newRow("truncated file") << "edgelist" << QByteArray("a b {'weight': 3") << "|"
                                    << QStringList{"Lines whose data dictionary could not be read were left out: once, at line 1"};
}

void TestEdgeList::reads()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QFETCH(QStringList, warnings);
    std::unique_ptr<GraphDocument> doc(m_plugin->readFile(write(text, suffix)));
    QVERIFY2(doc, qPrintable(m_plugin->lastError()));
    QCOMPARE(doc->size(), 1);
    QVERIFY(!doc->first()->directed());
    QCOMPARE(summary(doc->first()), expected);
    QCOMPARE(m_plugin->warnings(), warnings);
}

void TestEdgeList::writeThenRead_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expected");
    QTest::newRow("edge list keeps data and lone nodes")
        << "edgelist" << "a,b,c,lone|a-b{weight=f:1.5,label=s:it's},b-c{n=i:4,on=b:False}";
    QTest::newRow("adjacency list keeps the structure") << "adjlist" << "a,b,c,lone|a-b,b-c";
}

void TestEdgeList::writeThenRead()
{
    QFETCH(QString, suffix);
    QFETCH(QString, expected);
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    Graph *g = doc.addGraph(QStringLiteral("g"));
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    Node *c = g->addNode(QStringLiteral("c"));
    g->addNode(QStringLiteral("lone"));
    Edge *ab = g->addEdge(a, b);
    ab->addDynamicProperty(QStringLiteral("weight"), 1.5);
    ab->addDynamicProperty(QStringLiteral("label"), QStringLiteral("it's"));
    Edge *bc = g->addEdge(b, c);
    bc->addDynamicProperty(QStringLiteral("n"), 4);
    bc->addDynamicProperty(QStringLiteral("on"), false);

    const QString path = m_dir.filePath(QStringLiteral("out.") + suffix);
    QVERIFY2(m_plugin->writeFile(doc, path), qPrintable(m_plugin->lastError()));
    std::unique_ptr<GraphDocument> back(m_plugin->readFile(path));
    QVERIFY2(back, qPrintable(m_plugin->lastError()));
    QCOMPARE(summary(back->first()), expected);
    QVERIFY(m_plugin->warnings().isEmpty());
}

void TestEdgeList::namesThatCannotBeWrittenFail()
{
    const QString path = write("kept\n", QStringLiteral("edgelist"));
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    Graph *g = doc.addGraph(QStringLiteral("g"));
    g->addEdge(g->addNode(QStringLiteral("two words")), g->addNode(QStringLiteral("b")));
    QVERIFY(!m_plugin->writeFile(doc, path));
    QVERIFY2(m_plugin->lastError().contains(QLatin1String("\"two words\"")), qPrintable(m_plugin->lastError()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("kept\n"));

    GraphDocument empty(QStringLiteral("e"), 800, 600);
    QVERIFY(!m_plugin->writeFile(empty, path));
    QCOMPARE(m_plugin->lastError(), QStringLiteral("No active graph in this document."));
}

QTEST_GUILESS_MAIN(TestEdgeList)
#include "tst_edgelist.moc"

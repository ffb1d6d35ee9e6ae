// The GraphML file plug-in, loaded through the manager as a program would.
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

// "g>:a@1,2#red{w=i:1},b|a-b{c=s:x}": per graph its name, ">" when directed, then nodes (with a
// position and a colour other than the default) and edges in order, with their user properties.
QString summary(const GraphDocument &doc)
{
    QStringList graphs;
    for (const Graph *g : doc) {
        QStringList nodes;
        for (const Node *n : g->nodes()) {
            const QString place = n->x() || n->y() ? QStringLiteral("@%1,%2").arg(n->x()).arg(n->y()) : QString();
            const QString colour = n->color() != QLatin1String("blue") ? QLatin1Char('#') + n->color() : QString();
            nodes.append(n->name() + place + colour + GraphText::userProperties(n));
        }
        QStringList edges;
        for (const Edge *e : g->edges())
            edges.append(e->from()->name() + '-' + e->to()->name() + GraphText::userProperties(e));
        graphs.append(g->name() + (g->directed() ? ">" : "") + GraphText::userProperties(g) + ':' + nodes.join(',') + '|' + edges.join(','));
    }
    return graphs.join(QLatin1String(" / "));
}

const QByteArray Head = "<?xml version='1.0' encoding='utf-8'?>\n<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">\n";

} // namespace

class TestGraphML : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void reads_data();
    void reads();
    void malformedInputFails_data();
    void malformedInputFails();
    void writeThenRead();

private:
    QString write(const QByteArray &bytes);

    Grix::FilePluginInterface *m_plugin = nullptr;
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString TestGraphML::write(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("in%1.graphml").arg(m_files++));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

void TestGraphML::initTestCase()
{
    Grix::PluginManager::New()->loadFilePlugins();
    m_plugin = Grix::PluginManager::New()->filePluginsByExtension(QStringLiteral("graphml"));
    QVERIFY2(m_plugin, "grix_graphml not found in the plug-in directory");
}

void TestGraphML::reads_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("warnings");
    QTest::newRow("typed keys, defaults, graph data")
        << QByteArray("<key id='w' for='node' attr.name='weight' attr.type='int'><default>7</default></key>"
                      "<key id='c' for='edge' attr.name='cost' attr.type='double'/>"
                      "<key id='k' for='edge' attr.name='kind' attr.type='string'/>"
                      "<key id='t' for='graph' attr.name='title' attr.type='string'/>"
                      "<graph id='g' edgedefault='undirected'><data key='t'>T</data>"
                      "<node id='a'><data key='w'>1</data></node><node id='b'/>"
                      "<edge source='a' target='b'><data key='c'>2.5</data><data key='k'>road</data></edge></graph>")
        << "g{title=s:T}:a{weight=i:1},b{weight=i:7}|a-b{cost=f:2.5,kind=s:road}" << QStringList();
    QTest::newRow("boolean and long, a key for all")
        << QByteArray("<key id='f' for='all' attr.name='flag' attr.type='boolean'/>"
                      "<key id='n' for='node' attr.name='big' attr.type='long'/>"
                      "<graph id='g' edgedefault='directed'><node id='a'><data key='f'>true</data><data key='n'>9000000000</data>"
                      "</node><edge source='a' target='a'><data key='f'>0</data></edge></graph>")
        << "g>:a{flag=b:True,big=i:9000000000}|a-a{flag=b:False}" << QStringList();
    QTest::newRow("several graphs, edges before their nodes")
        << QByteArray("<graph id='one' edgedefault='directed'><edge source='x' target='y'/><node id='x'/><node id='y'/>"
                      "<edge source='y' target='x'/></graph><graph id='two'><node id='z'/></graph>")
        << "one>:x,y|y-x,x-y / two:z|" << QStringList();
    QTest::newRow("fixed properties by name")
        << QByteArray("<key id='x' for='node' attr.name='x' attr.type='double'/><key id='c' for='node' attr.name='color'/>"
                      "<graph><node id='a'><data key='x'>12.7</data><data key='c'>red</data></node></graph>")
        << ":a@12,0#red|" << QStringList();
    QTest::newRow("what is left out is counted")
        << QByteArray("<key id='w' for='node' attr.name='w' attr.type='int'/>"
                      "<graph id='g'>\n<node id='a'><data key='w'>many</data></node>\n<node id='b'><data key='nokey'>1</data></node>\n"
                      "<edge source='a' target='b'/>\n<edge source='b' target='a'/>\n<edge source='a' target='a'/>\n"
                      "<edge source='a' target='ghost'/>\n<node id='c'><graph id='inner'/></node>\n</graph>")
        << "g:a{w=s:many},b,c|a-b"
        << QStringList{"Values that do not fit the type of their key were read as text: once, at line 4",
                       "Data for keys the file does not declare were left out: once, at line 5",
                       "Loops and second edges between two nodes, which an undirected graph does not have, were left out: 2 "
                       "times, first at line 7",
                       "Nested graphs were left out: once, at line 10",
                       "Edges naming a node id the graph does not have were left out: once, at line 9"};
}

void TestGraphML::reads()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QFETCH(QStringList, warnings);
    std::unique_ptr<GraphDocument> doc(m_plugin->readFile(write(Head + body + "</graphml>\n")));
    QVERIFY2(doc, qPrintable(m_plugin->lastError()));
    QCOMPARE(summary(*doc), expected);
    QCOMPARE(m_plugin->warnings(), warnings);
    QCOMPARE(doc->activeGraph(), doc->first());
}

void TestGraphML::malformedInputFails_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::newRow("truncated") << Head + "<graph id='g'><node id='a'/><node id='b" << "Malformed GraphML at line 3";
    QTest::newRow("not GraphML") << QByteArray("<html><body/></html>") << "Not a GraphML file";
    QTest::newRow("not XML") << QByteArray("a b\nb c\n") << "Not a GraphML file";
    QTest::newRow("empty") << QByteArray() << "Not a GraphML file";
    QTest::newRow("mismatched tags") << Head + "<graph><node id='a'></graph></graphml>" << "Malformed GraphML";
}

void TestGraphML::malformedInputFails()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QVERIFY(!m_plugin->readFile(write(bytes)));
    QVERIFY2(m_plugin->lastError().startsWith(error), qPrintable(m_plugin->lastError()));
    QVERIFY(!m_plugin->readFile(m_dir.filePath(QStringLiteral("missing.graphml"))));
    QVERIFY(m_plugin->lastError().startsWith(QLatin1String("Cannot open the file")));
}

void TestGraphML::writeThenRead()
{
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    Graph *g = doc.addGraph(QStringLiteral("first"));
    g->setDirected(true);
    g->addDynamicProperty(QStringLiteral("owner"), QStringLiteral("me & you <3>"));
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    a->addDynamicProperty(QStringLiteral("rank"), 2);
    b->addDynamicProperty(QStringLiteral("rank"), 0.5); // int and real under one key: real
    b->addDynamicProperty(QStringLiteral("seen"), true);
    g->addEdge(a, b)->addDynamicProperty(QStringLiteral("label"), QStringLiteral("x\ny"));
    g->addEdge(b, a);
    // Names that are not unique cannot be ids: the nodes get numbers, their names travel as data.
    Graph *h = doc.addGraph(QStringLiteral("second"));
    h->addEdge(h->addNode(QStringLiteral("n")), h->addNode(QStringLiteral("n")));

    const QString path = m_dir.filePath(QStringLiteral("out.graphml"));
    QVERIFY2(m_plugin->writeFile(doc, path), qPrintable(m_plugin->lastError()));
    std::unique_ptr<GraphDocument> back(m_plugin->readFile(path));
    QVERIFY2(back, qPrintable(m_plugin->lastError()));
    QCOMPARE(summary(*back), QStringLiteral("first>{owner=s:me & you <3>}:a{rank=f:2.0},b{rank=f:0.5,seen=b:True}|a-b{label=s:x\ny},"
                                            "b-a / second:n,n|n-n"));
    QVERIFY(m_plugin->warnings().isEmpty());
}

QTEST_GUILESS_MAIN(TestGraphML)
#include "tst_graphml.moc"

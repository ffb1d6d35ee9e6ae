// The ".graph" file format: the writer's exact text, reading it back, and reading damaged files.
#include <dynamicpropertieslist.h>
#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>

#include <QDir>
#include <QFile>
#include <QMetaProperty>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// The example document: undirected graph "g", nodes a (10, 20) and b (40, 20), edge a-b with weight 3.
GraphDocument *exampleDocument()
{
    auto *doc = new GraphDocument(QStringLiteral("example"), 800, 600);
    Graph *g = doc->addGraph(QStringLiteral("g"));
    g->addNode(QStringLiteral("a"), QPointF(10, 20));
    g->addNode(QStringLiteral("b"), QPointF(40, 20));
    g->addEdge(QStringLiteral("a"), QStringLiteral("b"))->addDynamicProperty(QStringLiteral("weight"), 3);
    return doc;
}

QByteArray exampleText(const QString &iconPackage)
{
    QByteArray text =
        "[Graph 0] \n"
        "directed : false \n"
        "name : g \n"
        "nodeDefaultColor : blue \n"
        "edgeDefaultColor : gray \n"
        "automate : false \n"
        "\n";
    for (const char *node : {"[Node 0]\nx : 10 \ny : 20 \nwidth : 0.5 \nname : a \n",
                             "[Node 1]\nx : 40 \ny : 20 \nwidth : 0.5 \nname : b \n"}) {
        text += node;
        text += "color : blue \nbegin : false \nend : false \nvalue : 0 \n";
        text += "iconPackage : " + iconPackage.toUtf8() + " \nicon : grix_default \n\n";
    }
    text += "[Edge 0->1]\n"
            "color : gray \n"
            "value :  \n"
            "name :  \n"
            "width : 1 \n"
            "style : solid \n"
            "weight : 3 \n"
            "\n";
    return text;
}

// Every stored property of an object, fixed and dynamic, as text.
QStringList properties(const QObject *object)
{
    QStringList result;
    const QMetaObject *meta = object->metaObject();
    for (int i = 1; i < meta->propertyCount(); ++i)
        result.append(QString::fromLatin1(meta->property(i).name()) + '=' + meta->property(i).read(object).toString());
    for (const QByteArray &name : object->dynamicPropertyNames())
        result.append(QString::fromUtf8(name) + '=' + object->property(name).toString());
    return result;
}

// Graphs of a document as "name[d]:nodes/edges:a,b|a-b".
QString summary(const GraphDocument &doc)
{
    QStringList graphs;
    for (const Graph *g : doc) {
        QStringList nodes;
        for (const Node *n : g->nodes())
            nodes.append(n->name());
        QStringList edges;
        for (const Edge *e : g->edges())
            edges.append(e->from()->name() + '-' + e->to()->name());
        graphs.append(g->name() + (g->directed() ? "[d]" : "") + ':' + nodes.join(',') + '|' + edges.join(','));
    }
    return graphs.join(';');
}

} // namespace

class TestGraphFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void exampleSavesExactly();
    void exampleLoadsBackEqual();
    void saveNamesTheFile_data();
    void saveNamesTheFile();
    void saveFailureKeepsOldFile();
    void loadDamagedFiles_data();
    void loadDamagedFiles();
    void loadPropertyValues();
    void loadAppendsToDocument();
    void loadMissingFile();
    void valuesWithLineBreaksStayOnOneLine();

private:
    QTemporaryDir m_dir;
};

void TestGraphFile::init()
{
    QVERIFY(m_dir.isValid());
}

void TestGraphFile::exampleSavesExactly()
{
    std::unique_ptr<GraphDocument> doc(exampleDocument());
    const QString path = m_dir.filePath(QStringLiteral("example.graph"));
    QVERIFY(doc->saveAsInternalFormat(path));
    QCOMPARE(readAll(path), exampleText(doc->first()->nodes().first()->iconPackage()));
    QCOMPARE(doc->documentPath(), path);
}

void TestGraphFile::exampleLoadsBackEqual()
{
    std::unique_ptr<GraphDocument> doc(exampleDocument());
    Graph *g = doc->first();
    g->setDirected(true);
    g->setAutomate(true);
    g->setEdgeDefaultColor(QStringLiteral("red"));
    g->addDynamicProperty(QStringLiteral("label"), QStringLiteral("Königsberg"));
    Node *a = g->nodes().at(0);
    a->setValue(QStringLiteral("start"));
    a->setBegin(true);
    a->setColor(QStringLiteral("#ff0000"));
    a->setWidth(1.25);
    a->addDynamicProperty(QStringLiteral("rank"), 2);
    g->nodes().at(1)->setEnd(true);
    Edge *e = g->edges().first();
    e->setValue(QStringLiteral("5"));
    e->setStyle(QStringLiteral("dash"));
    e->setWidth(2.5);
    g->addEdge(g->nodes().at(1), a)->setName(QStringLiteral("back"));
    const QString path = m_dir.filePath(QStringLiteral("roundtrip.graph"));
    QVERIFY(doc->saveAsInternalFormat(path));

    GraphDocument loaded(QStringLiteral("loaded"), 800, 600);
    QTest::ignoreMessage(QtDebugMsg, "Graph Document Loaded.");
    QVERIFY(loaded.loadFromInternalFormat(path));
    QCOMPARE(loaded.count(), 1);
    Graph *lg = loaded.first();
    QCOMPARE(properties(lg), properties(g));
    QCOMPARE(lg->nodes().size(), 2);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(properties(lg->nodes().at(i)), properties(g->nodes().at(i)));
    QCOMPARE(lg->edges().size(), 2);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(properties(lg->edges().at(i)), properties(g->edges().at(i)));
    QCOMPARE(lg->begin(), lg->nodes().at(0));
    // Properties read from a file are plain Qt properties, not entered in the registry.
    QCOMPARE(DynamicPropertiesList::New()->type(lg->nodes().at(0), QStringLiteral("rank")), None);
    // Saving the loaded document gives the same bytes again.
    const QString again = m_dir.filePath(QStringLiteral("again.graph"));
    QVERIFY(loaded.saveAsInternalFormat(again));
    QCOMPARE(readAll(again), readAll(path));
}

void TestGraphFile::saveNamesTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "plain" << "plain.graph";
    QTest::newRow("extension") << "doc.graph" << "doc.graph";
    QTest::newRow("other case") << "doc.GRAPH" << "doc.GRAPH.graph";
}

void TestGraphFile::saveNamesTheFile()
{
    QFETCH(QString, name);
    QFETCH(QString, written);
    std::unique_ptr<GraphDocument> doc(exampleDocument());
    QVERIFY(doc->saveAsInternalFormat(m_dir.filePath(name)));
    QVERIFY(QFile::exists(m_dir.filePath(written)));
    QCOMPARE(doc->documentPath(), m_dir.filePath(name));
}

void TestGraphFile::saveFailureKeepsOldFile()
{
    std::unique_ptr<GraphDocument> doc(exampleDocument());
    QTest::ignoreMessage(QtDebugMsg, "Error: File Not Open");
    QVERIFY(!doc->saveAsInternalFormat(m_dir.filePath(QStringLiteral("no/such/dir/x.graph"))));
    QCOMPARE(doc->documentPath(), QString());

    // A directory where the file should go: the save fails, nothing is replaced.
    const QString blocked = m_dir.filePath(QStringLiteral("blocked.graph"));
    QVERIFY(QDir().mkpath(blocked));
    QVERIFY(!doc->saveAsInternalFormat(blocked));
    QVERIFY(QFileInfo(blocked).isDir());
}

void TestGraphFile::loadDamagedFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    const QByteArray header = "[Graph 0]\nname : g\n";
    const QByteArray ab = header + "[Node 0]\nname : a\n[Node 1]\nname : b\n";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("no graph header") << QByteArray("[Node 0]\nname : a\n[Edge 0->0]\nx : 1\n") << "";
    QTest::newRow("comments and blanks") << QByteArray("# a comment\n\n" + ab + "# [Node 2]\n   \n") << "g:a,b|";
    QTest::newRow("header number is provisional name") << QByteArray("[Graph 7]\n[Node 3]\n") << "7:3|";
    QTest::newRow("CRLF") << QByteArray(ab + "[Edge 0->1]\nname : e\n").replace("\n", "\r\n") << "g:a,b|a-b";
    QTest::newRow("tabs and spaces") << QByteArray("\t[Graph   0] \n  name\t:   g  \n[Node 0]\n") << "g:0|";
    QTest::newRow("undirected duplicate edge") << QByteArray(ab + "[Edge 0->1]\n[Edge 1->0]\n[Edge 0->0]\n")
                                               << "g:a,b|a-b";
    QTest::newRow("directed both ways") << QByteArray(header + "directed : true\n[Node 0]\nname : a\n[Node 1]\nname : b\n"
                                                               "[Edge 0->1]\n[Edge 1->0]\n[Edge 1->1]\n")
                                        << "g[d]:a,b|a-b,b-a,b-b";
    QTest::newRow("edge numbers out of range") << QByteArray(ab + "[Edge 0->2]\n[Edge -1->0]\n[Edge 0->]\n[Edge x->y]\n"
                                                                  "[Edge 99999999999999->0]\n[Edge]\n[Edge 0-1]\n")
                                               << "g:a,b|";
    QTest::newRow("properties of refused edge dropped") << QByteArray(ab + "[Edge 0->5]\nname : stray\n[Edge 0->1]\n")
                                                        << "g:a,b|a-b";
    QTest::newRow("unknown property and empty name") << QByteArray(ab + "colour : red\n : nothing\nname:\n") << "g:a,|";
    QTest::newRow("group ignored") << QByteArray(ab + "[Group 0]\nname : c\n") << "g:a,c|";
    QTest::newRow("non-UTF-8") << QByteArray(header + "[Node 0]\nname : caf\xe9\xff\n") << "g:caf\uFFFD\uFFFD|";
    QTest::newRow("truncated last block") << QByteArray(ab + "[Edge 0->1]\nna") << "g:a,b|a-b";
    QTest::newRow("truncated header") << QByteArray(ab + "[Edge 0-") << "g:a,b|";
    QTest::newRow("two graphs") << QByteArray(header + "[Node 0]\n[Graph 1]\nname : h\n[Node 0]\n[Edge 0->0]\n")
                                << "g:0|;h:0|";
    QTest::newRow("NUL bytes") << QByteArray(header + "[Node 0]\nname : a" + QByteArray(1, '\0') + "b\n")
                               << QStringLiteral("g:a") + QChar(0) + QStringLiteral("b|");
    QTest::newRow("very long line") << QByteArray(header + "[Node 0]\nname : " + QByteArray(200000, 'n') + "\n")
                                    << "g:" + QString(200000, 'n') + "|";
}

void TestGraphFile::loadDamagedFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(QStringLiteral("damaged.graph"));
    QVERIFY(writeFile(path, text));
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    QTest::ignoreMessage(QtDebugMsg, "Graph Document Loaded.");
    QVERIFY(doc.loadFromInternalFormat(path));
    QCOMPARE(summary(doc), expected);
}

void TestGraphFile::loadPropertyValues()
{
    const QByteArray text = "[Graph 0]\nname : g\n"
                            "[Node 0]\nname : a\nx : 12.7\ny : -3.9\nvalue : 5\nbegin : true\nurl : http://x\n"
                            "[Node 1]\nname : b\nx : not a number\nend : true\n";
    const QString path = m_dir.filePath(QStringLiteral("values.graph"));
    QVERIFY(writeFile(path, text));
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    QTest::ignoreMessage(QtDebugMsg, "Graph Document Loaded.");
    doc.loadFromInternalFormat(path);
    Graph *g = doc.first();
    Node *a = g->nodes().at(0);
    QCOMPARE(a->x(), 12.0);
    QCOMPARE(a->y(), -3.0);
    QCOMPARE(a->value(), QVariant(QStringLiteral("5")));
    QCOMPARE(g->begin(), a);
    // Only what stands between the first and the second colon is the value.
    QCOMPARE(a->property("url"), QVariant(QStringLiteral("http")));
    Node *b = g->nodes().at(1);
    QVERIFY(b->end());
    QCOMPARE(b->x(), 0.0);
}

void TestGraphFile::loadAppendsToDocument()
{
    std::unique_ptr<GraphDocument> source(exampleDocument());
    const QString path = m_dir.filePath(QStringLiteral("append.graph"));
    QVERIFY(source->saveAsInternalFormat(path));
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    Graph *existing = doc.addGraph(QStringLiteral("first"));
    doc.loadFromInternalFormat(path);
    QCOMPARE(doc.count(), 2);
    QCOMPARE(doc.first(), existing);
    QCOMPARE(doc.activeGraph(), existing);
    QCOMPARE(summary(doc), QStringLiteral("first:|;g:a,b|a-b"));
}

void TestGraphFile::loadMissingFile()
{
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    const QString path = m_dir.filePath(QStringLiteral("missing.graph"));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("File not open ") + path));
    QVERIFY(!doc.loadFromInternalFormat(path));
    QVERIFY(doc.isEmpty());
}

void TestGraphFile::valuesWithLineBreaksStayOnOneLine()
{
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    Graph *g = doc.addGraph(QStringLiteral("g"));
    g->addNode(QStringLiteral("a\n[Node 5]\nname : injected"));
    const QString path = m_dir.filePath(QStringLiteral("breaks.graph"));
    QVERIFY(doc.saveAsInternalFormat(path));
    GraphDocument loaded(QStringLiteral("l"), 800, 600);
    loaded.loadFromInternalFormat(path);
    QCOMPARE(loaded.first()->nodes().size(), 1);
    QCOMPARE(loaded.first()->nodes().first()->name(), QStringLiteral("a [Node 5] name"));
}

QTEST_GUILESS_MAIN(TestGraphFile)
#include "tst_graphfile.moc"

// Graphs, nodes, edges, documents and the dynamic-property registry.
#include <dynamicpropertieslist.h>
#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>

#include <QSignalSpy>
#include <QTest>

namespace {

// "a-b,c-a" style description of a graph's edges, in edge-list order.
QString edgeText(const Graph *g)
{
    QStringList parts;
    for (const Edge *e : g->edges())
        parts.append(e->from()->name() + QLatin1Char('-') + e->to()->name());
    return parts.join(QLatin1Char(','));
}

QString names(const NodeList &nodes)
{
    QStringList parts;
    for (const Node *n : nodes)
        parts.append(n->name());
    return parts.join(QLatin1Char(','));
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestGraphModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addEdgeRules_data();
    void addEdgeRules();
    void addEdgeByName();
    void setDirectedKeepsOneEdgePerPair_data();
    void setDirectedKeepsOneEdgePerPair();
    void relativeIndexCountsEdgesBetweenNodes();
    void adjacency_data();
    void adjacency();
    void positionsAndChangeSignals();
    void beginAndEndNodes();
    void removingNodeRemovesItsEdges();
    void documentGraphs();
    void documentCopySharesGraphs();
    void dynamicPropertySpread();
    void dynamicPropertyRenameAndClear();
};

void TestGraphModel::addEdgeRules_data()
{
    // Edges are tried in order on nodes a, b (and x of another graph); "result" lists what exists after.
    QTest::addColumn<bool>("directed");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("attempts");
    QTest::addColumn<QString>("result");
    QTest::newRow("undirected refuses loop") << false << false << QStringList{"a-a"} << "";
    QTest::newRow("undirected refuses parallel") << false << false << QStringList{"a-b", "a-b"} << "a-b";
    QTest::newRow("undirected refuses reverse") << false << false << QStringList{"a-b", "b-a"} << "a-b";
    QTest::newRow("directed accepts all") << true << false << QStringList{"a-b", "a-b", "b-a", "a-a"}
                                          << "a-b,a-b,b-a,a-a";
    QTest::newRow("foreign node") << true << false << QStringList{"a-x", "x-a"} << "";
    QTest::newRow("null node") << true << false << QStringList{"a-0", "0-b"} << "";
    QTest::newRow("read only") << true << true << QStringList{"a-b"} << "";
}

void TestGraphModel::addEdgeRules()
{
    QFETCH(bool, directed);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, attempts);
    QFETCH(QString, result);
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph(QStringLiteral("g"));
    Graph *other = doc.addGraph(QStringLiteral("other"));
    g->setDirected(directed);
    QHash<QString, Node *> nodes{{"a", g->addNode("a")}, {"b", g->addNode("b")}, {"x", other->addNode("x")}, {"0", nullptr}};
    g->readOnly(readOnly);
    QVERIFY(!g->addNode(QStringLiteral("c")) == readOnly);
    QSignalSpy created(g, &Graph::edgeCreated);
    for (const QString &attempt : attempts) {
        const QStringList ends = attempt.split(QLatin1Char('-'));
        g->addEdge(nodes.value(ends[0]), nodes.value(ends[1]));
    }
    QCOMPARE(edgeText(g), result);
    QCOMPARE(created.count(), g->edges().size());
    QVERIFY(other->edges().isEmpty());
}

void TestGraphModel::addEdgeByName()
{
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    g->setDirected(true);
    Node *x1 = g->addNode(QStringLiteral("x"));
    g->addNode(QStringLiteral("y"));
    g->addNode(QStringLiteral("x"));
    QCOMPARE(g->addEdge(QStringLiteral("x"), QStringLiteral("y"))->from(), x1);
    Edge *loop = g->addEdge(QStringLiteral("x"), QStringLiteral("x"));
    QVERIFY(loop);
    QCOMPARE(loop->from(), x1);
    QVERIFY(!g->addEdge(QStringLiteral("x"), QStringLiteral("nobody")));
}

void TestGraphModel::setDirectedKeepsOneEdgePerPair_data()
{
    QTest::addColumn<bool>("to");
    QTest::addColumn<QString>("result");
    QTest::newRow("to undirected") << false << "a-b,b-c";
    QTest::newRow("stay directed") << true << "a-b,b-c";
}

void TestGraphModel::setDirectedKeepsOneEdgePerPair()
{
    QFETCH(bool, to);
    QFETCH(QString, result);
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    g->setDirected(true);
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    Node *c = g->addNode(QStringLiteral("c"));
    g->addEdge(a, b);
    g->addEdge(b, a);
    g->addEdge(a, a);
    g->addEdge(b, c);
    g->addEdge(b, c);
    QSignalSpy complexity(g, &Graph::complexityChanged);
    g->setDirected(to);
    QCOMPARE(edgeText(g), result);
    QCOMPARE(g->directed(), to);
    QCOMPARE(complexity.count(), 1);
    QVERIFY(a->self_edges().isEmpty());
    QCOMPARE(b->in_edges().size(), 1);
}

void TestGraphModel::relativeIndexCountsEdgesBetweenNodes()
{
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    g->setDirected(true);
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    QCOMPARE(g->addEdge(a, b)->relativeIndex(), 1);
    QCOMPARE(g->addEdge(a, b)->relativeIndex(), 2);
    QCOMPARE(g->addEdge(b, a)->relativeIndex(), 3);
    QCOMPARE(g->addEdge(a, a)->relativeIndex(), 1);
}

void TestGraphModel::adjacency_data()
{
    QTest::addColumn<bool>("directed");
    QTest::addColumn<QStringList>("edges");
    QTest::addColumn<QString>("adjacentNodes");
    QTest::addColumn<int>("adjacentEdges");
    QTest::newRow("directed counts successors") << true << QStringList{"a-b", "c-a"} << "b" << 1;
    QTest::newRow("undirected counts both") << false << QStringList{"a-b", "c-a"} << "b,c" << 2;
    QTest::newRow("directed loop") << true << QStringList{"a-a", "a-b"} << "b,a" << 2;
    QTest::newRow("parallel kept") << true << QStringList{"a-b", "a-b"} << "b,b" << 2;
}

void TestGraphModel::adjacency()
{
    QFETCH(bool, directed);
    QFETCH(QStringList, edges);
    QFETCH(QString, adjacentNodes);
    QFETCH(int, adjacentEdges);
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    g->setDirected(directed);
    for (const char *name : {"a", "b", "c"})
        g->addNode(QString::fromLatin1(name));
    for (const QString &edge : edges)
        QVERIFY(g->addEdge(edge.section('-', 0, 0), edge.section('-', 1, 1)));
    Node *a = g->node(QStringLiteral("a"));
    QCOMPARE(names(a->adjacent_nodes()), adjacentNodes);
    QCOMPARE(a->adjacent_edges().size(), adjacentEdges);
    // edges(n) looks both ways: what connects a and b whichever its direction.
    Node *b = g->node(QStringLiteral("b"));
    QCOMPARE(a->edges(b).size(), b->edges(a).size());
}

void TestGraphModel::positionsAndChangeSignals()
{
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    Node *n = g->addNode(QStringLiteral("n"));
    QVERIFY(n->setProperty("x", 12.7));
    QCOMPARE(n->x(), 12.0);
    n->setPos(12.7, 3.2);
    QCOMPARE(n->x(), 12.7);
    QCOMPARE(n->y(), 3.2);

    QSignalSpy nodeChanged(n, &Node::changed);
    QSignalSpy graphChanged(g, &Graph::changed);
    n->startChange();
    n->setColor(QStringLiteral("red"));
    n->setName(QStringLiteral("m"));
    n->setValue(QVariant(3));
    QCOMPARE(nodeChanged.count(), 0);
    n->endChange();
    QCOMPARE(nodeChanged.count(), 1);
    n->setValue(QStringLiteral("7"));
    QCOMPARE(nodeChanged.count(), 2);
    QCOMPARE(n->value().typeId(), QMetaType::QString);
    QCOMPARE(graphChanged.count(), 2);

    // An edge changes with either of its nodes and with the kind of its graph.
    Node *m = g->addNode(QStringLiteral("m"));
    Edge *e = g->addEdge(n, m);
    QSignalSpy edgeChanged(e, &Edge::changed);
    n->setWidth(2);
    m->setColor(QStringLiteral("red"));
    QCOMPARE(edgeChanged.count(), 2);
    g->setDirected(true);
    QCOMPARE(edgeChanged.count(), 4);
    g->remove(e);

    // hideName stores the flag as given: the graph passes visibility straight through.
    g->setNodeNameVisibility(false);
    QVERIFY(!n->showName());
    QCOMPARE(g->addNode(QStringLiteral("later"))->color(), QStringLiteral("blue"));
    g->setNodeDefaultColor(QStringLiteral("green"));
    QCOMPARE(g->addNode(QStringLiteral("later2"))->color(), QStringLiteral("green"));
}

void TestGraphModel::beginAndEndNodes()
{
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    a->setBegin();
    QCOMPARE(g->begin(), a);
    b->setBegin(true);
    QCOMPARE(g->begin(), b);
    QVERIFY(!a->begin());
    QVERIFY(!g->setBegin(b));
    b->setBegin(false);
    QCOMPARE(g->begin(), nullptr);

    b->setBegin(true);
    // A removed node stops being the begin or an end node at once, not when it is deleted.
    g->remove(b);
    QCOMPARE(g->begin(), nullptr);
    QVERIFY(g->setBegin(a));
    flushDeletes();
    QCOMPARE(g->begin(), a);
}

void TestGraphModel::removingNodeRemovesItsEdges()
{
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    g->setDirected(true);
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    Node *c = g->addNode(QStringLiteral("c"));
    g->addEdge(a, b);
    g->addEdge(b, b);
    g->addEdge(c, b);
    g->addEdge(a, c);
    QSignalSpy removed(b, &Node::removed);
    b->self_remove();
    QCOMPARE(names(g->nodes()), QStringLiteral("a,c"));
    QCOMPARE(g->edges().size(), 4); // deletion is deferred
    flushDeletes();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(edgeText(g), QStringLiteral("a-c"));
    QCOMPARE(a->out_edges().size(), 1);
    QVERIFY(c->out_edges().isEmpty());
    // A node removed twice, or from the wrong graph, is left alone.
    Graph *other = doc.addGraph();
    other->remove(a);
    QCOMPARE(g->nodes().size(), 2);
    g->remove(g->edges().first());
    QVERIFY(a->out_edges().isEmpty());
}

void TestGraphModel::documentGraphs()
{
    GraphDocument doc(QStringLiteral("d"), 800, 600);
    GraphDocument otherDoc(QStringLiteral("o"), 10, 10);
    QSignalSpy created(&doc, &GraphDocument::graphCreated);
    QSignalSpy active(&doc, &GraphDocument::activeGraphChanged);
    Graph *g1 = doc.addGraph(QStringLiteral("one"));
    Graph *g2 = doc.addGraph();
    QCOMPARE(g2->name(), QStringLiteral("untitled"));
    QCOMPARE(created.count(), 2);
    QCOMPARE(active.count(), 0);
    QCOMPARE(doc.activeGraph(), g2);
    QCOMPARE(g1->relativeCenter(), QPointF(400, 300));

    doc.setActiveGraph(otherDoc.addGraph());
    QCOMPARE(active.count(), 0);
    QCOMPARE(doc.activeGraph(), g2);
    doc.setActiveGraph(g1);
    QCOMPARE(active.count(), 1);

    // Removing the active graph moves the editor to a neighbour rather than to a deleted graph.
    QSignalSpy removed(&doc, &GraphDocument::graphRemoved);
    g1->remove();
    QCOMPARE(doc.count(), 1);
    QCOMPARE(removed.takeFirst().at(0).toInt(), 0);
    QCOMPARE(doc.activeGraph(), g2);
    g2->remove();
    QCOMPARE(doc.activeGraph(), nullptr);
    flushDeletes();
    QVERIFY(doc.isEmpty());
}

void TestGraphModel::documentCopySharesGraphs()
{
    auto *doc = new GraphDocument(QStringLiteral("d"), 800, 600);
    Graph *g = doc->addGraph(QStringLiteral("g"));
    g->addNode(QStringLiteral("a"));
    {
        GraphDocument copy(*doc);
        QCOMPARE(copy.name(), QStringLiteral("d"));
        QCOMPARE(copy.width(), 800.0);
        QCOMPARE(copy.count(), 1);
        QCOMPARE(copy.first(), g);
    }
    // The copy is gone and the source's graph is intact; deleting the source deletes it once.
    QCOMPARE(g->nodes().size(), 1);
    delete doc;
}

void TestGraphModel::dynamicPropertySpread()
{
    DynamicPropertiesList *list = DynamicPropertiesList::New();
    QCOMPARE(list, DynamicPropertiesList::New());
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    Node *c = g->addNode(QStringLiteral("c"));
    QCOMPARE(list->type(a, QStringLiteral("w")), None);
    a->addDynamicProperty(QStringLiteral("w"), 1);
    QCOMPARE(list->type(a, QStringLiteral("w")), Unique);
    b->addDynamicProperty(QStringLiteral("w"), 2);
    QCOMPARE(list->type(c, QStringLiteral("w")), Multiple);
    QCOMPARE(list->typeInText(c, QStringLiteral("w")), QStringLiteral("Multiple"));
    c->addDynamicProperty(QStringLiteral("w"), 3);
    QCOMPARE(list->type(a, QStringLiteral("w")), Global);
    g->removeNodesDynamicProperty(QStringLiteral("w"));
    QCOMPARE(list->type(a, QStringLiteral("w")), None);
    QVERIFY(!a->property("w").isValid());

    // An invalid value removes the Qt property and leaves the registry as it was.
    a->addDynamicProperty(QStringLiteral("v"), 1);
    a->addDynamicProperty(QStringLiteral("v"), QVariant());
    QVERIFY(!a->property("v").isValid());
    QCOMPARE(list->type(a, QStringLiteral("v")), Unique);

    g->addDynamicProperty(QStringLiteral("label"));
    QCOMPARE(g->property("label"), QVariant(0));
    QCOMPARE(list->type(g, QStringLiteral("label")), Unique);
    g->removeDynamicProperty(QStringLiteral("label"));
    QCOMPARE(list->type(g, QStringLiteral("label")), None);

    g->setDirected(true);
    g->addEdge(a, b);
    g->addEdgesDynamicProperty(QStringLiteral("cost"), 4);
    QCOMPARE(list->type(g->edges().first(), QStringLiteral("cost")), Global);
    QCOMPARE(list->type(&doc, QStringLiteral("cost")), None);
}

void TestGraphModel::dynamicPropertyRenameAndClear()
{
    DynamicPropertiesList *list = DynamicPropertiesList::New();
    GraphDocument doc(QStringLiteral("d"), 100, 100);
    Graph *g = doc.addGraph();
    Graph *other = doc.addGraph();
    Node *a = g->addNode(QStringLiteral("a"));
    Node *b = g->addNode(QStringLiteral("b"));
    Node *c = g->addNode(QStringLiteral("c"));
    Node *o = other->addNode(QStringLiteral("o"));
    a->addDynamicProperty(QStringLiteral("old"), 1);
    a->addDynamicProperty(QStringLiteral("old"), 1); // registered twice: renamed once, value kept
    b->addDynamicProperty(QStringLiteral("old"), QStringLiteral("two"));
    o->addDynamicProperty(QStringLiteral("old"), 9);
    list->changePropertyName(QStringLiteral("old"), QStringLiteral("new"), b);
    QCOMPARE(a->property("new"), QVariant(1));
    QCOMPARE(b->property("new"), QVariant(QStringLiteral("two")));
    QVERIFY(!a->property("old").isValid());
    QVERIFY(!c->property("new").isValid());
    QCOMPARE(o->property("old"), QVariant(9));
    QCOMPARE(list->type(a, QStringLiteral("new")), Multiple);

    // A deleted node leaves the registry with it, so a later rename cannot reach it.
    g->remove(b);
    flushDeletes();
    list->changePropertyName(QStringLiteral("new"), QStringLiteral("newer"), a);
    QCOMPARE(a->property("newer"), QVariant(1));

    list->clear(g);
    QCOMPARE(list->type(a, QStringLiteral("newer")), None);
    QCOMPARE(a->property("newer"), QVariant(1));
    QCOMPARE(list->type(o, QStringLiteral("old")), Global); // the only node of its graph
}

QTEST_GUILESS_MAIN(TestGraphModel)
#include "tst_graphmodel.moc"

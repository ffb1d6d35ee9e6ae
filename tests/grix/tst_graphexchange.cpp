// Graphs travel between this library and networkx, both ways, as GraphML and as edge lists: what
// networkx writes we read with the same nodes, edges, degrees and attributes, and what we write
// networkx reads back as the graph it wrote.
#include "graphtext.h"

#include <edge.h>
#include <fileplugininterface.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>
#include <pluginmanager.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

// The same lines networkx_exchange.py prints for a graph networkx read: "N name {attrs}",
// "E u v {attrs}" (ends in name order when undirected) and "D name degree", sorted. Attributes
// are sorted by name, as Python sorts them.
QStringList describe(const Graph *g)
{
    auto sortedProperties = [](const GraphElement *element) {
        QStringList parts;
        for (const QByteArray &name : element->userPropertyNames())
            parts.append(QString::fromUtf8(name) + QLatin1Char('=') + GraphText::typed(element->property(name)));
        parts.sort();
        return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
    };
    QStringList lines;
    for (const Node *n : g->nodes()) {
        lines.append(QStringLiteral("N %1 %2").arg(n->name(), sortedProperties(n)));
        // networkx counts a node's edges in both directions, and a loop twice.
        const qsizetype degree = n->in_edges().size() + n->out_edges().size() + 2 * n->self_edges().size();
        lines.append(QStringLiteral("D %1 %2").arg(n->name()).arg(degree));
    }
    for (const Edge *e : g->edges()) {
        QString u = e->from()->name();
        QString v = e->to()->name();
        if (!g->directed() && v < u)
            std::swap(u, v);
        lines.append(QStringLiteral("E %1 %2 %3").arg(u, v, sortedProperties(e)));
    }
    std::sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
    return lines;
}

} // namespace

class TestGraphExchange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void roundTrips_data();
    void roundTrips();

private:
    bool python(const QStringList &arguments, QByteArray *output);
    QStringList networkxReads(const QString &format, const QString &path);

    QString m_helper;
    QTemporaryDir m_dir;
};

bool TestGraphExchange::python(const QStringList &arguments, QByteArray *output)
{
    QProcess process;
    process.start(Python, QStringList{m_helper} + arguments);
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning().noquote() << process.readAllStandardError();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

QStringList TestGraphExchange::networkxReads(const QString &format, const QString &path)
{
    QByteArray output;
    if (!python({QStringLiteral("describe"), format, path}, &output))
        return {QStringLiteral("networkx could not read ") + path};
    QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
    return lines;
}

void TestGraphExchange::initTestCase()
{
    if (QProcess::execute(Python, {QStringLiteral("-c"), QStringLiteral("import networkx")}) != 0)
        QSKIP("python3-networkx is not installed (scripts/deps installs it); the exchange with networkx is not tested");
    m_helper = QFINDTESTDATA("networkx_exchange.py");
    QVERIFY(!m_helper.isEmpty());
    QVERIFY(m_dir.isValid());
    QVERIFY(python({QStringLiteral("write"), m_dir.path()}, nullptr));
    Grix::PluginManager::New()->loadFilePlugins();
}

void TestGraphExchange::roundTrips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("format");
    for (const char *name : {"karate", "lesmis", "florentine", "davis", "random", "random_directed"}) {
        QTest::addRow("%s graphml", name) << QString::fromLatin1(name) << QStringLiteral("graphml");
        if (!QByteArray(name).endsWith("directed"))
            QTest::addRow("%s edgelist", name) << QString::fromLatin1(name) << QStringLiteral("edgelist");
    }
}

void TestGraphExchange::roundTrips()
{
    QFETCH(QString, name);
    QFETCH(QString, format);
    Grix::FilePluginInterface *plugin = Grix::PluginManager::New()->filePluginsByExtension(format);
    QVERIFY2(plugin, qPrintable(QStringLiteral("no file plug-in for .") + format));
    const QString theirs = m_dir.filePath(name + QLatin1Char('.') + format);
    const QStringList expected = networkxReads(format, theirs);

    std::unique_ptr<GraphDocument> doc(plugin->readFile(theirs));
    QVERIFY2(doc, qPrintable(plugin->lastError()));
    QCOMPARE(plugin->warnings(), QStringList());
    QCOMPARE(doc->size(), 1);
    QCOMPARE(describe(doc->first()), expected);

    const QString ours = m_dir.filePath(name + QStringLiteral(".ours.") + format);
    QVERIFY2(plugin->writeFile(*doc, ours), qPrintable(plugin->lastError()));
    QCOMPARE(networkxReads(format, ours), expected);
}

QTEST_GUILESS_MAIN(TestGraphExchange)
#include "tst_graphexchange.moc"

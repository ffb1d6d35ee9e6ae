// Every #include of the product folders against the layer graph of layers.txt, and the check
// itself on a small tree that breaks it.

#include "layergraph.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class IncludeLayersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theTreeFollowsItsLayers();
    void wrongIncludesAreNamed_data();
    void wrongIncludesAreNamed();
    void badLayerFilesAreRefused_data();
    void badLayerFilesAreRefused();
};

void IncludeLayersTest::theTreeFollowsItsLayers()
{
    LayerGraph graph;
    QVERIFY2(graph.load(QStringLiteral(TALVORI_SOURCE_DIR "/layers.txt")), qPrintable(graph.error()));
    const QList<LayerGraph::Violation> violations = graph.check(QStringLiteral(TALVORI_SOURCE_DIR));
    QStringList texts;
    for (const LayerGraph::Violation &violation : violations)
        texts.append(violation.text());
    QVERIFY2(texts.isEmpty(), qPrintable(texts.join(QLatin1Char('\n'))));
}

void IncludeLayersTest::wrongIncludesAreNamed_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    QTest::newRow("storage includes a handler header")
        << "server/storage/datastore.cpp" << QByteArray("#include \"storage/datastore.h\"\n\n#include \"handler/handler.h\"\n")
        << "server/storage/datastore.cpp:3: includes \"handler/handler.h\" of server/handler, which server/storage may "
           "not include";
    QTest::newRow("a handler includes storage") << "server/handler/fetch.cpp"
                                                << QByteArray("#include \"storage/datastore.h\"\n") << QString();
    QTest::newRow("a layer two below") << "server/handler/fetch.cpp" << QByteArray("#include <imapset.h>\n")
                                       << QString();
    QTest::newRow("platform includes the server by file name")
        << "platform/base/util.cpp" << QByteArray("#include \"util.h\"\n#include \"datastore.h\"\n")
        << "platform/base/util.cpp:2: includes \"datastore.h\" of server/storage, which platform/base may not "
           "include";
    QTest::newRow("headers outside the tree are no arrows")
        << "platform/base/util.cpp" << QByteArray("#include <QString>\n#include \"generated.h\"\n") << QString();
    QTest::newRow("a relative path that climbs")
        << "server/protocol/scope.cpp" << QByteArray("#include \"../storage/datastore.h\"\n")
        << "server/protocol/scope.cpp:1: includes \"../storage/datastore.h\" of server/storage, which "
           "server/protocol may not include";
}

void IncludeLayersTest::wrongIncludesAreNamed()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    QTemporaryDir tree;
    QVERIFY(tree.isValid());
    QVERIFY(writeFile(tree.filePath(QStringLiteral("layers.txt")),
                      "platform/base:\nserver/storage: platform/base\nserver/protocol: platform/base\n"
                      "server/handler: server/storage server/protocol\n"));
    for (const char *header : {"platform/base/util.h", "platform/base/imapset.h", "server/storage/datastore.h",
                               "server/handler/handler.h", "server/protocol/scope.h"})
        QVERIFY(writeFile(tree.filePath(QLatin1String(header)), "#pragma once\n"));
    QVERIFY(writeFile(tree.filePath(file), content));

    LayerGraph graph;
    QVERIFY2(graph.load(tree.filePath(QStringLiteral("layers.txt"))), qPrintable(graph.error()));
    const QList<LayerGraph::Violation> violations = graph.check(tree.path());
    QStringList texts;
    for (const LayerGraph::Violation &violation : violations)
        texts.append(violation.text());
    QCOMPARE(texts.join(QLatin1Char('\n')), expected);
}

void IncludeLayersTest::badLayerFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("layers");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown component") << QByteArray("a: b\n") << "a lists b, which is not a component";
    QTest::newRow("cycle") << QByteArray("a: b\nb: c\nc: a\n") << "the layers form a cycle: a -> b -> c -> a";
    QTest::newRow("no colon") << QByteArray("# comment\na b\n") << "layers.txt:2: expected \"component: components...\"";
}

void IncludeLayersTest::badLayerFilesAreRefused()
{
    QFETCH(QByteArray, layers);
    QFETCH(QString, error);
    QTemporaryDir tree;
    QVERIFY(writeFile(tree.filePath(QStringLiteral("layers.txt")), layers));
    LayerGraph graph;
    QVERIFY(!graph.load(tree.filePath(QStringLiteral("layers.txt"))));
    QCOMPARE(graph.error().replace(tree.path() + QLatin1Char('/'), QString()), error);
}

QTEST_GUILESS_MAIN(IncludeLayersTest)
#include "tst_includelayers.moc"

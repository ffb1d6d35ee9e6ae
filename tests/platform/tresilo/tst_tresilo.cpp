// Node values: each kind of node answers its accessors, and nodes compare by kind and content.

#include <node.h>

#include <QTest>

using Tresilo::LanguageTag;
using Tresilo::LiteralValue;
using Tresilo::Node;

class TresiloTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void accessors_data();
    void accessors();
    void equality();
};

void TresiloTest::accessors_data()
{
    QTest::addColumn<Node>("node");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QUrl>("uri");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QUrl>("dataType");

    const QUrl item(QStringLiteral("talvori:?item=42"));
    const QUrl integer(QStringLiteral("http://www.w3.org/2001/XMLSchema#int"));
    QTest::newRow("empty") << Node() << int(Node::EmptyNode) << QString() << QUrl() << QString() << QUrl();
    QTest::newRow("resource") << Node(item) << int(Node::ResourceNode) << item.toString() << item << QString()
                              << QUrl();
    QTest::newRow("plain literal") << Node(LiteralValue::createPlainLiteral(QStringLiteral("Grüße"),
                                                                            LanguageTag(QStringLiteral("de"))))
                                   << int(Node::LiteralNode) << QStringLiteral("Grüße") << QUrl()
                                   << QStringLiteral("de") << QUrl();
    QTest::newRow("typed literal") << Node(LiteralValue::fromString(QStringLiteral("7"), integer))
                                   << int(Node::LiteralNode) << QStringLiteral("7") << QUrl() << QString() << integer;
    QTest::newRow("blank") << Node(QStringLiteral("b0")) << int(Node::BlankNode) << QStringLiteral("b0") << QUrl()
                           << QString() << QUrl();
    QTest::newRow("invalid literal is empty") << Node(LiteralValue()) << int(Node::EmptyNode) << QString() << QUrl()
                                              << QString() << QUrl();
}

void TresiloTest::accessors()
{
    QFETCH(Node, node);
    QFETCH(int, type);
    QCOMPARE(int(node.type()), type);
    QTEST(node.toString(), "text");
    QTEST(node.uri(), "uri");
    QTEST(node.language().toString(), "language");
    QTEST(node.dataType(), "dataType");
}

void TresiloTest::equality()
{
    const LiteralValue english = LiteralValue::createPlainLiteral(QStringLiteral("x"), LanguageTag(QStringLiteral("en")));
    QCOMPARE(Node(english), Node(LiteralValue::createPlainLiteral(QStringLiteral("x"), LanguageTag(QStringLiteral("EN")))));
    QVERIFY(!(Node(english) == Node(LiteralValue::createPlainLiteral(QStringLiteral("x")))));
    // The same text as a resource, a literal and a blank node are three different nodes.
    const QString text = QStringLiteral("x");
    QVERIFY(!(Node(QUrl(text)) == Node(text)));
    QVERIFY(!(Node(LiteralValue::createPlainLiteral(text)) == Node(text)));
    QCOMPARE(Node(), Node(LiteralValue()));
}

QTEST_APPLESS_MAIN(TresiloTest)
#include "tst_tresilo.moc"

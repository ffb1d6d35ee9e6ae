// The header preprocessor's rules: which header fields a message has (folded lines, either line
// ending, the body left alone) and which flags its --flag/--if-header pairs give it.

#include "headerrule.h"
#include "messageheader.h"

#include <QTest>

class HeaderRulesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void flags_data();
    void flags();
    void badRules_data();
    void badRules();
};

void HeaderRulesTest::flags_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArrayList>("expected");

    // The rules: $List for any List-Id, $Junk for X-Spam-Flag YES, $Urgent for "Priority: urgent".
    QTest::newRow("no field matches") << QByteArray("Subject: hello\r\n\r\nList-Id: in the body\r\n") << QByteArrayList{};
    QTest::newRow("a field present, any value") << QByteArray("List-Id: <dev.example.org>\r\n\r\nbody")
                                                << QByteArrayList{"$List"};
    QTest::newRow("names and values without regard to case")
        << QByteArray("list-id: x\r\nx-spam-flag:   yes  \r\n\r\n") << QByteArrayList{"$List", "$Junk"};
    QTest::newRow("another value does not match") << QByteArray("X-Spam-Flag: NO\r\n\r\n") << QByteArrayList{};
    QTest::newRow("a folded value is joined") << QByteArray("Priority:\r\n urgent\r\n\r\n") << QByteArrayList{"$Urgent"};
    QTest::newRow("line feeds alone") << QByteArray("X-Spam-Flag: YES\nList-Id: a\n\nbody") << QByteArrayList{"$List", "$Junk"};
    QTest::newRow("one flag once, rules in order")
        << QByteArray("List-Id: a\r\nList-Id: b\r\nPriority: urgent\r\n\r\n") << QByteArrayList{"$List", "$Urgent"};
    QTest::newRow("a header without a body") << QByteArray("List-Id: a") << QByteArrayList{"$List"};
    QTest::newRow("an empty message") << QByteArray() << QByteArrayList{};
    QTest::newRow("a line that is no field") << QByteArray("garbage\r\n: nameless\r\nList-Id: a\r\n\r\n")
                                             << QByteArrayList{"$List"};
}

void HeaderRulesTest::flags()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArrayList, expected);
    QList<HeaderRule> rules;
    for (const auto &[flag, condition] : {std::pair{"$List", "List-Id"}, std::pair{"$Junk", "X-Spam-Flag: YES"},
                                          std::pair{"$Urgent", " Priority :urgent"}}) {
        HeaderRule rule;
        QString error;
        QVERIFY2(HeaderRule::parse(QLatin1String(flag), QLatin1String(condition), &rule, &error), qPrintable(error));
        rules.append(rule);
    }
    QCOMPARE(HeaderRule::flagsFor(rules, MessageHeader(message)), expected);
}

void HeaderRulesTest::badRules_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("error");
    QTest::newRow("a flag with a blank") << "$My List" << "List-Id"
                                         << "'$My List' cannot be a flag (no blanks, brackets, quotes, %, * or \\)";
    QTest::newRow("an empty flag") << "" << "List-Id" << "'' cannot be a flag (no blanks, brackets, quotes, %, * or \\)";
    QTest::newRow("a flag with a bracket") << "$a)" << "List-Id"
                                           << "'$a)' cannot be a flag (no blanks, brackets, quotes, %, * or \\)";
    QTest::newRow("no field name") << "$List" << ": YES" << "': YES' names no header field";
    QTest::newRow("a field name with a blank") << "$List" << "List Id" << "'List Id' names no header field";
}

void HeaderRulesTest::badRules()
{
    QFETCH(QString, flag);
    QFETCH(QString, condition);
    QFETCH(QString, error);
    HeaderRule rule;
    QString why;
    QVERIFY(!HeaderRule::parse(flag, condition, &rule, &why));
    QCOMPARE(why, error);
}

QTEST_GUILESS_MAIN(HeaderRulesTest)
#include "tst_headerrules.moc"

// Response lines as handlers build them.

#include "handler/handler.h"
#include "protocol/response.h"

#include <QSignalSpy>
#include <QTest>

namespace {
// The smallest handler: fails with a message given as text.
class FailingHandler : public Handler
{
public:
    explicit FailingHandler(const QString &message)
        : m_message(message)
    {
    }
    bool parseStream() override { return failureResponse(m_message); }

private:
    QString m_message;
};
}

class ResponseTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void asString_data();
    void asString();
    void failureTextIsLatin1();
};

void ResponseTest::asString_data()
{
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("tagged OK") << QByteArray("a1") << int(Response::Success) << QByteArray("a1 OK text");
    QTest::newRow("tagged NO") << QByteArray("a1") << int(Response::Failure) << QByteArray("a1 NO text");
    QTest::newRow("tagged BAD") << QByteArray("a1") << int(Response::Error) << QByteArray("a1 BAD text");
    QTest::newRow("tagged BYE") << QByteArray("a1") << int(Response::Bye) << QByteArray("a1 BYE text");
    QTest::newRow("tagged user-defined") << QByteArray("a1") << int(Response::UserDefined) << QByteArray("a1 text");
    QTest::newRow("untagged BYE has no word") << QByteArray("*") << int(Response::Bye) << QByteArray("* text");
    QTest::newRow("continuation") << QByteArray("+") << int(Response::Success) << QByteArray("+ text");
}

void ResponseTest::asString()
{
    QFETCH(QByteArray, tag);
    QFETCH(int, code);
    QFETCH(QByteArray, expected);
    Response response;
    response.setTag(tag);
    switch (code) {
    case Response::Success: response.setSuccess(); break;
    case Response::Failure: response.setFailure(); break;
    case Response::Error: response.setError(); break;
    case Response::Bye: response.setBye(); break;
    default: response.setUserDefined();
    }
    response.setString("text");
    QCOMPARE(response.asString(), expected);
}

void ResponseTest::failureTextIsLatin1()
{
    FailingHandler handler(QStringLiteral("Gr\u00fc\u00dfe \u20ac"));
    handler.setTag("a7");
    QSignalSpy spy(&handler, &Handler::responseAvailable);
    QVERIFY(!handler.parseStream());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<Response>().asString(), QByteArray("a7 NO Gr\xfc\xdf" "e ?"));
}

QTEST_GUILESS_MAIN(ResponseTest)
#include "tst_response.moc"

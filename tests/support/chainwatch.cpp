#include "chainwatch.h"

#include "agentprocess.h"
#include "testclient.h"
#include "testpreprocessor.h"
#include "testserver.h"

#include <QTest>

ChainWatch::ChainWatch(TestServer &server, TestClient &client)
    : m_server(server)
    , m_client(client)
{
}

std::unique_ptr<TestPreprocessor> ChainWatch::addPreprocessor(const QString &id, bool answerAtOnce)
{
    auto preprocessor = std::make_unique<TestPreprocessor>(id, m_server.bus().address());
    preprocessor->answerAtOnce = answerAtOnce;
    if (!preprocessor->join())
        return nullptr;
    const qsizetype before = registrations(id);
    preprocessor->registerWithServer();
    if (!waitForRegistrations(id, before + 1)) {
        qWarning().noquote() << "the server did not take" << id << "into its chain";
        return nullptr;
    }
    return preprocessor;
}

bool ChainWatch::startAgent(AgentProcess &agent, const QString &id)
{
    const qsizetype before = registrations(id);
    if (!agent.start())
        return false;
    if (waitForRegistrations(id, before + 1))
        return true;
    qWarning().noquote() << id << "did not register:" << agent.output();
    return false;
}

bool ChainWatch::isHidden(qint64 item)
{
    const QList<QByteArray> lines = m_client.run("UID FETCH " + QByteArray::number(item) + " ALLATTR");
    for (const QByteArray &line : lines) {
        if (line.startsWith("* ") && line.contains(" ATR:HIDDEN "))
            return true;
    }
    return false;
}

QList<QByteArray> ChainWatch::flags(qint64 item)
{
    const QList<QByteArray> lines = m_client.run("UID FETCH " + QByteArray::number(item) + " (FLAGS)");
    for (const QByteArray &line : lines) {
        const qsizetype open = line.indexOf(" FLAGS (");
        const qsizetype close = line.indexOf(')', open);
        if (!line.startsWith("* ") || open < 0 || close < 0)
            continue;
        QList<QByteArray> result = line.mid(open + 8, close - open - 8).split(' ');
        result.removeAll(QByteArray());
        std::sort(result.begin(), result.end());
        return result;
    }
    return {};
}

bool ChainWatch::waitUntilVisible(const QList<qint64> &items, int timeoutMs)
{
    QList<qint64> left = items;
    return QTest::qWaitFor(
        [&] {
            left.removeIf([this](qint64 item) { return !isHidden(item); });
            return left.isEmpty();
        },
        timeoutMs);
}

qsizetype ChainWatch::logCount(const QByteArray &line) const
{
    return m_server.output().count(line);
}

qsizetype ChainWatch::registrations(const QString &id) const
{
    const QByteArray name = id.toUtf8() + '\n';
    return logCount("Registering preprocessor instance " + name) + logCount("Reconnected preprocessor instance " + name);
}

bool ChainWatch::waitForRegistrations(const QString &id, qsizetype count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return registrations(id) >= count; }, timeoutMs);
}

bool ChainWatch::waitForUnregistrations(const QString &id, qsizetype count, int timeoutMs) const
{
    const QByteArray line = "PreprocessorManager::unregisterInstance(" + id.toUtf8() + ")\n";
    if (!QTest::qWaitFor([&] { return logCount(line) >= count; }, timeoutMs))
        return false;
    // The line is written as the call begins; the chain has changed a moment later.
    QTest::qWait(50);
    return true;
}

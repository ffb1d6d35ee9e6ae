#ifndef TALVORI_CHAINWATCH_H
#define TALVORI_CHAINWATCH_H

#include <QList>
#include <QString>

#include <memory>

class AgentProcess;
class TestClient;
class TestPreprocessor;
class TestServer;

// What a test of the preprocessor chain looks at from outside: whether an item still carries its
// hidden part (FETCH ALLATTR, as a client sees it; the server filters nothing), and when the
// server has taken a preprocessor into its chain (its own log line); and the preprocessors it
// adds to the chain.
class ChainWatch
{
public:
    ChainWatch(TestServer &server, TestClient &client);

    // A TestPreprocessor on the server's bus, registered and taken into the chain; null (with a
    // warning) when it could not be.
    std::unique_ptr<TestPreprocessor> addPreprocessor(const QString &id, bool answerAtOnce = false);
    // Starts an agent program and waits until the server has taken id into its chain.
    bool startAgent(AgentProcess &agent, const QString &id);

    // The item's attribute parts include "ATR:HIDDEN".
    bool isHidden(qint64 item);
    // The item's flags, sorted.
    QList<QByteArray> flags(qint64 item);
    // Waits until none of the items is hidden any more.
    bool waitUntilVisible(const QList<qint64> &items, int timeoutMs = 20000);
    // How often the server has taken id into its chain, anew or after a restart of the agent.
    qsizetype registrations(const QString &id) const;
    // Waits until that has happened count times.
    bool waitForRegistrations(const QString &id, qsizetype count = 1, int timeoutMs = 20000) const;
    // Waits until the server has handled count unregistrations of id.
    bool waitForUnregistrations(const QString &id, qsizetype count = 1, int timeoutMs = 20000) const;

private:
    qsizetype logCount(const QByteArray &line) const;

    TestServer &m_server;
    TestClient &m_client;
};

#endif

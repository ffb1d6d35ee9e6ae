#ifndef TALVORI_CHAINWATCH_H
#define TALVORI_CHAINWATCH_H

#include <QList>
#include <QString>

class TestClient;
class TestServer;

// What a test of the preprocessor chain looks at from outside: whether an item still carries its
// hidden part (FETCH ALLATTR, as a client sees it; the server filters nothing), and when the
// server has taken a preprocessor into its chain (its own log line).
class ChainWatch
{
public:
    ChainWatch(const TestServer &server, TestClient &client);

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

    const TestServer &m_server;
    TestClient &m_client;
};

#endif

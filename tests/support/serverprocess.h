#ifndef TALVORI_SERVERPROCESS_H
#define TALVORI_SERVERPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QString>

class ProtocolClient;
class TempEnvironment;

// The real talvoriserver executable, started in a test's temporary environment.
class ServerProcess
{
public:
    explicit ServerProcess(const TempEnvironment &environment);
    // The environment is read when the process starts, so variables set later still count.
    ~ServerProcess();

    // Starts the server and waits until its socket accepts connections.
    bool start(const QStringList &arguments = QStringList(), int timeoutMs = 20000);
    // SIGTERM, then waits; returns the exit code (-1 when it had to be killed).
    int stop(int timeoutMs = 20000);

    QString socketName() const;
    QString socketPath() const;

    // Registers a resource instance with the running server over the session bus, as the agent
    // manager does. Empty on success, the bus error otherwise.
    static QString addResource(const QString &name);
    // Connects client, expects the greeting and logs in as session.
    bool login(ProtocolClient &client, const QByteArray &session);
    QProcess &process() { return m_process; }
    QByteArray output() { return m_process.readAllStandardOutput() + m_process.readAllStandardError(); }

    static QString executable(const QString &name);

private:
    const TempEnvironment &m_environment;
    QProcess m_process;
};

#endif

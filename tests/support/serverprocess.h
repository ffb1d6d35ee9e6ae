#ifndef TALVORI_SERVERPROCESS_H
#define TALVORI_SERVERPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QString>

class TempEnvironment;

// The real talvoriserver executable, started in a test's temporary environment. Its output goes to
// a file in the environment (nothing needs to read it while the server runs, and a pipe that no one
// reads would stall the server once it is full); output() reads it back.
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
    // Where the server listens: the path it published in the connection settings, or before it
    // has, where a relative name goes with the environment's runtime directory.
    QString socketPath() const;

    // Registers a resource instance with the running server over the session bus, as the agent
    // manager does. Empty on success, the bus error otherwise.
    static QString addResource(const QString &name);
    QProcess &process() { return m_process; }
    // What the server wrote to its standard output and error since the last start().
    QByteArray output() const;
    // The server's error log ("talvoriserver.error" in its data directory), empty when there is none.
    QByteArray errorLog() const;

    static QString executable(const QString &name);

    // The connection settings the server publishes while it runs.
    QString connectionFile() const;

private:
    QString logFile() const;

    const TempEnvironment &m_environment;
    QProcess m_process;
    // Where the output of the last start() begins in logFile(): a restart on the same home appends.
    qint64 m_logStart = 0;
};

#endif

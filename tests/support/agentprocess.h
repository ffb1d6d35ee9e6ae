#ifndef TALVORI_AGENTPROCESS_H
#define TALVORI_AGENTPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class TempEnvironment;

// An agent program of the build (talvori-header-preprocessor, say) run in a test's temporary
// environment, so that it finds the same server, bus and settings. Its output goes to a file of
// its own in the environment; output() reads it back.
class AgentProcess
{
public:
    AgentProcess(const TempEnvironment &environment, const QString &program, const QStringList &arguments);
    ~AgentProcess();
    AgentProcess(const AgentProcess &) = delete;
    AgentProcess &operator=(const AgentProcess &) = delete;

    bool start();
    // SIGTERM, then waits; the exit code (-1 when it had to be killed or was not running).
    int stop(int timeoutMs = 10000);
    // SIGKILL: gone without a word, as a crashed agent or one an agent manager killed.
    void kill();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QByteArray output() const;

private:
    const TempEnvironment &m_environment;
    const QString m_program;
    const QStringList m_arguments;
    QString m_logFile;
    QProcess m_process;
};

#endif

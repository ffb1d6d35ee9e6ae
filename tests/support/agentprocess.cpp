#include "agentprocess.h"

#include "serverprocess.h"
#include "tempenvironment.h"

#include <QDebug>
#include <QFile>

#include <csignal>

AgentProcess::AgentProcess(const TempEnvironment &environment, const QString &program, const QStringList &arguments)
    : m_environment(environment)
    , m_program(program)
    , m_arguments(arguments)
{
    static int next = 0;
    m_logFile = environment.path() + QStringLiteral("/%1-%2.log").arg(program).arg(++next);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

AgentProcess::~AgentProcess()
{
    if (isRunning())
        stop();
}

bool AgentProcess::start()
{
    m_process.setProcessEnvironment(m_environment.environment());
    m_process.setStandardOutputFile(m_logFile, QIODevice::Append);
    m_process.start(ServerProcess::executable(m_program), m_arguments);
    if (m_process.waitForStarted(10000))
        return true;
    qWarning() << "cannot start" << m_program << m_process.errorString();
    return false;
}

int AgentProcess::stop(int timeoutMs)
{
    if (!isRunning())
        return -1;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (m_process.waitForFinished(timeoutMs))
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    kill();
    return -1;
}

void AgentProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QByteArray AgentProcess::output() const
{
    QFile log(m_logFile);
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

#include "commandrun.h"

#include <QProcess>

CommandRun CommandRun::run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
                           int timeoutMs)
{
    CommandRun result;
    result.m_commandLine = (QStringList{program} + arguments).join(QLatin1Char(' '));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        result.m_error = process.error() == QProcess::FailedToStart ? process.errorString()
                                                                     : QStringLiteral("no end within %1 s").arg(timeoutMs / 1000);
        process.kill();
        process.waitForFinished(5000);
    } else {
        result.m_finished = process.exitStatus() == QProcess::NormalExit;
        result.m_exitCode = process.exitCode();
        if (!result.m_finished)
            result.m_error = QStringLiteral("crashed");
    }
    result.m_output = process.readAll();
    return result;
}

QString CommandRun::describe() const
{
    const QString end = m_error.isEmpty() ? QStringLiteral("exit code %1").arg(m_exitCode) : m_error;
    return m_commandLine + QLatin1String(": ") + end + QLatin1Char('\n') + QString::fromLocal8Bit(m_output.right(6000));
}

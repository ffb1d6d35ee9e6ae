#ifndef TALVORI_COMMANDRUN_H
#define TALVORI_COMMANDRUN_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// A command-line program run to its end (cmake, cpack, dpkg-deb), with what it wrote to standard
// output and error.
//
//     const CommandRun build = CommandRun::run(QStringLiteral("cmake"), {"--build", dir});
//     QVERIFY2(build.ok(), qPrintable(build.describe()));
class CommandRun
{
public:
    static CommandRun run(const QString &program, const QStringList &arguments,
                          const QString &workingDirectory = QString(), int timeoutMs = 600000);

    // True when the program ended by itself with exit code 0.
    bool ok() const { return m_finished && m_exitCode == 0; }
    QByteArray output() const { return m_output; }
    // The command line, how it ended and the end of its output, for a failure message.
    QString describe() const;

private:
    QString m_commandLine;
    bool m_finished = false;
    int m_exitCode = -1;
    QString m_error;
    QByteArray m_output;
};

#endif

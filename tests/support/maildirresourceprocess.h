#ifndef TALVORI_MAILDIRRESOURCEPROCESS_H
#define TALVORI_MAILDIRRESOURCEPROCESS_H

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class TestServer;

// The real talvori-maildir-resource, run for a test's server in the server's environment (home,
// bus, socket). Its standard error goes to a file in the environment; errorOutput() reads it
// back. The resource's "synchronized" signal is counted, so a test can wait for a
// synchronisation to end.
//
//     MaildirResourceProcess agent(QStringLiteral("maildir_1"), m_server);
//     QVERIFY2(agent.start(maildir), qPrintable(agent.errorString()));   // synchronises at start
//     QVERIFY(agent.waitForSynchronized(1, 60000));
class MaildirResourceProcess : public QObject
{
    Q_OBJECT
public:
    MaildirResourceProcess(const QString &identifier, TestServer &server);
    ~MaildirResourceProcess() override;

    QString identifier() const { return m_identifier; }
    // Starts the resource on the Maildir and waits until it owns its bus name; false with
    // errorString().
    bool start(const QString &maildir, const QStringList &arguments = QStringList());
    // SIGTERM, then waits.
    void stop();
    QString errorString() const { return m_error; }
    QProcess &process() { return m_process; }

    // Asks for a whole synchronisation over the bus.
    void synchronize();
    // Waits (running this thread's events) until count "synchronized" signals came in all.
    bool waitForSynchronized(int count, int timeoutMs);
    int synchronizedCount() const { return m_synchronized; }
    // Everything the resource wrote to standard error since it started.
    QByteArray errorOutput() const;

    static QString executable();

private Q_SLOTS:
    void onSynchronized();

private:
    QString service() const;
    QString logFile() const;

    const QString m_identifier;
    TestServer &m_server;
    QProcess m_process;
    int m_synchronized = 0;
    qint64 m_logStart = 0;
    QString m_error;
};

#endif

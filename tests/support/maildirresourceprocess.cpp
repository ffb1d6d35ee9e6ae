#include "maildirresourceprocess.h"

#include "serverprocess.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>

MaildirResourceProcess::MaildirResourceProcess(const QString &identifier, TestServer &server)
    : m_identifier(identifier)
    , m_server(server)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

MaildirResourceProcess::~MaildirResourceProcess()
{
    stop();
}

QString MaildirResourceProcess::executable()
{
    return ServerProcess::executable(QStringLiteral("talvori-maildir-resource"));
}

QString MaildirResourceProcess::service() const
{
    return QStringLiteral("org.freedesktop.Talvori.Resource.") + m_identifier;
}

QString MaildirResourceProcess::logFile() const
{
    return m_server.environment().path() + QLatin1String("/agent-") + m_identifier + QLatin1String(".log");
}

bool MaildirResourceProcess::start(const QString &maildir, const QStringList &arguments)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Subscribed before the resource runs, so that the signal of its first synchronisation is
    // not missed.
    bus.connect(service(), QStringLiteral("/"), QStringLiteral("org.freedesktop.Talvori.Resource"),
                QStringLiteral("synchronized"), this, SLOT(onSynchronized()));
    m_process.setProcessEnvironment(m_server.environment().environment());
    m_logStart = QFileInfo(logFile()).size();
    m_process.setStandardOutputFile(logFile(), QIODevice::Append);
    m_process.start(executable(), QStringList{QStringLiteral("--identifier"), m_identifier, QStringLiteral("--path"),
                                              maildir, QStringLiteral("--socket"), m_server.socketPath()}
                                      + arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = QLatin1String("cannot run the resource: ") + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (!bus.interface()->isServiceRegistered(service())) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = QLatin1String("the resource did not come up:\n") + QString::fromLocal8Bit(errorOutput());
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

void MaildirResourceProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void MaildirResourceProcess::synchronize()
{
    QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        service(), QStringLiteral("/"), QStringLiteral("org.freedesktop.Talvori.Resource"), QStringLiteral("synchronize")));
}

void MaildirResourceProcess::onSynchronized()
{
    ++m_synchronized;
}

bool MaildirResourceProcess::waitForSynchronized(int count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_synchronized < count) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(20);
    }
    return true;
}

QByteArray MaildirResourceProcess::errorOutput() const
{
    QFile log(logFile());
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logStart))
        return QByteArray();
    return log.readAll();
}

#include "serverprocess.h"

#include "tempenvironment.h"

#include <QDBusInterface>
#include <QDBusMessage>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSettings>

#include <csignal>

ServerProcess::ServerProcess(const TempEnvironment &environment)
    : m_environment(environment)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

ServerProcess::~ServerProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        stop();
}

QString ServerProcess::executable(const QString &name)
{
    return QStringLiteral(TALVORI_BINARY_DIR) + QLatin1Char('/') + name;
}

QString ServerProcess::socketName() const
{
    const QSettings settings(m_environment.serverSettingsFile(), QSettings::IniFormat);
    return settings.value(QStringLiteral("Connection/NamedPipe"), QStringLiteral("Talvori")).toString();
}

QString ServerProcess::socketPath() const
{
    const QSettings connection(connectionFile(), QSettings::IniFormat);
    const QString published = connection.value(QStringLiteral("Data/NamedPipe")).toString();
    if (QDir::isAbsolutePath(published))
        return published;
    const QString name = socketName();
    if (QDir::isAbsolutePath(name))
        return name;
    return m_environment.runtimeDir() + QLatin1String("/talvori/") + name;
}

QString ServerProcess::connectionFile() const
{
    return m_environment.configHome() + QLatin1String("/talvori/talvoriconnectionrc");
}

QString ServerProcess::logFile() const
{
    return m_environment.path() + QLatin1String("/server.log");
}

QByteArray ServerProcess::output() const
{
    QFile log(logFile());
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logStart))
        return QByteArray();
    return log.readAll();
}

QByteArray ServerProcess::errorLog() const
{
    QFile log(m_environment.dataHome() + QLatin1String("/talvori/talvoriserver.error"));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

bool ServerProcess::start(const QStringList &arguments, int timeoutMs)
{
    m_process.setProcessEnvironment(m_environment.environment());
    m_logStart = QFileInfo(logFile()).size();
    m_process.setStandardOutputFile(logFile(), QIODevice::Append);
    m_process.start(executable(QStringLiteral("talvoriserver")), arguments);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    // The server is ready once its socket answers and it has published the connection settings;
    // with a session bus, the bus address is the last thing it writes there.
    const bool withBus = m_environment.environment().contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        if (probe.waitForConnected(200)) {
            probe.disconnectFromServer();
            const QSettings connection(connectionFile(), QSettings::IniFormat);
            if (connection.contains(withBus ? QStringLiteral("DBUS/Address") : QStringLiteral("Data/NamedPipe")))
                return true;
        }
        // Waiting for the end, rather than sleeping, notices a server that gave up at once.
        if (m_process.state() == QProcess::NotRunning || m_process.waitForFinished(50))
            return false;
    }
    return false;
}

int ServerProcess::stop(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    int result = -1;
    if (m_process.waitForFinished(timeoutMs)) {
        result = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    } else {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // A server that did not end cleanly says why in its own output, which no one else reads.
    if (result != 0)
        qWarning().noquote() << "server output:\n" << QString::fromLocal8Bit(output());
    return result;
}

QString ServerProcess::addResource(const QString &name)
{
    QDBusInterface manager(QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/ResourceManager"),
                           QStringLiteral("org.freedesktop.Talvori.ResourceManager"));
    const QDBusMessage reply
        = manager.call(QStringLiteral("addResourceInstance"), name, QStringList{QStringLiteral("Resource")});
    if (reply.type() == QDBusMessage::ReplyMessage)
        return QString();
    return QLatin1String("addResourceInstance: ") + reply.errorMessage();
}

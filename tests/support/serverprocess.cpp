#include "serverprocess.h"

#include "tempenvironment.h"

#include <protocolclient.h>

#include <QDBusInterface>
#include <QDBusMessage>
#include <QDebug>
#include <QLocalSocket>
#include <QSettings>
#include <QThread>

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
    return m_environment.tempDir() + QLatin1Char('/') + socketName();
}

bool ServerProcess::start(const QStringList &arguments, int timeoutMs)
{
    m_process.setProcessEnvironment(m_environment.environment());
    m_process.start(executable(QStringLiteral("talvoriserver")), arguments);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    // The server is ready once its socket answers and it has published the connection settings;
    // with a session bus, the bus address is the last thing it writes there.
    const bool withBus = m_environment.environment().contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    const QString connectionFile = m_environment.configHome() + QLatin1String("/talvori/talvoriconnectionrc");
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        if (probe.waitForConnected(200)) {
            probe.disconnectFromServer();
            const QSettings connection(connectionFile, QSettings::IniFormat);
            if (connection.contains(withBus ? QStringLiteral("DBUS/Address") : QStringLiteral("Data/NamedPipe")))
                return true;
        }
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(50);
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
        qWarning().noquote() << "server output:\n" << QString::fromLocal8Bit(m_process.readAll());
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

bool ServerProcess::login(ProtocolClient &client, const QByteArray &session)
{
    if (!client.connectToServer(socketPath()))
        return false;
    bool ok = false;
    if (client.readLine(&ok) != "* OK Talvori Almost IMAP Server [PROTOCOL 26]" || !ok)
        return false;
    const QList<QByteArray> lines = client.command("login", "LOGIN " + session);
    return !lines.isEmpty() && lines.last() == "login OK User logged in";
}

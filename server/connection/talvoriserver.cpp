#include "talvoriserver.h"

#include "common/log.h"
#include "talvoriconnection.h"

#include <xdgbasedirs.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QSettings>
#include <QTimer>

static TalvoriServer *s_instance = nullptr;

TalvoriServer *TalvoriServer::instance()
{
    if (!s_instance)
        new TalvoriServer;
    return s_instance;
}

TalvoriServer::TalvoriServer(QObject *parent)
    : QLocalServer(parent)
{
    QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    s_instance = this;

    QSettings connectionSettings(XdgBaseDirs::talvoriConnectionConfigFile(XdgBaseDirs::WriteOnly), QSettings::IniFormat);

    const QString pipeName = settings.value(QStringLiteral("Connection/NamedPipe"), QStringLiteral("Talvori")).toString();
    if (!listenOnPipe(pipeName))
        logFatal() << "Unable to listen on Named Pipe" << pipeName << ":" << errorString();

    connectionSettings.setValue(QStringLiteral("Data/Method"), QStringLiteral("NamedPipe"));
    connectionSettings.setValue(QStringLiteral("Data/NamedPipe"), pipeName);

    const QString busAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!busAddress.isEmpty())
        connectionSettings.setValue(QStringLiteral("DBUS/Address"), busAddress);
    connectionSettings.sync();
}

bool TalvoriServer::listenOnPipe(const QString &name)
{
    // Only the user running the server may connect: the socket is created owner-only.
    setSocketOptions(QLocalServer::UserAccessOption);
    if (listen(name))
        return true;
    if (serverError() != QAbstractSocket::AddressInUseError)
        return false;

    // The name is taken. If a server answers there, it is another running instance and its
    // socket must not be stolen; otherwise the file is left over from a crash and can go.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) {
        probe.disconnectFromServer();
        return false;
    }
    QLocalServer::removeServer(name);
    return listen(name);
}

void TalvoriServer::incomingConnection(quintptr socketDescriptor)
{
    if (m_alreadyShutdown)
        return;
    auto *connection = new TalvoriConnection(socketDescriptor, this);
    connect(connection, &QThread::finished, connection, &QObject::deleteLater);
    m_connections.append(connection);
    connection->start();
}

void TalvoriServer::quit()
{
    if (m_alreadyShutdown)
        return;
    m_alreadyShutdown = true;
    close();

    logDebug() << "terminating connection threads";
    for (const QPointer<TalvoriConnection> &connection : std::as_const(m_connections)) {
        if (!connection)
            continue;
        connection->quit();
        connection->wait();
        delete connection.data();
    }
    m_connections.clear();

    const QString connectionConfig = XdgBaseDirs::talvoriConnectionConfigFile(XdgBaseDirs::WriteOnly);
    if (QFile::exists(connectionConfig) && !QFile::remove(connectionConfig))
        logError() << "Failed to remove runtime connection config file";

    QTimer::singleShot(0, this, &TalvoriServer::doQuit);
}

void TalvoriServer::doQuit()
{
    QCoreApplication::exit(0);
}

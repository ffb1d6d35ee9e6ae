#include "testbus.h"

#include "tempenvironment.h"

TestBus::~TestBus()
{
    stop();
}

bool TestBus::start(const QString &directory)
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                    QStringLiteral("--address=unix:path=") + directory + QStringLiteral("/bus")});
    if (!m_daemon.waitForStarted(10000))
        return false;
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(10000))
            return false;
    }
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
    return !m_address.isEmpty();
}

void TestBus::stop()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

void TestBus::exportTo(TempEnvironment &environment) const
{
    environment.setVariable(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
}

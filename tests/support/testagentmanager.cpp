#include "testagentmanager.h"

#include "testpreprocessor.h"

#include <QDBusError>
#include <QDebug>

TestAgentManager::TestAgentManager(const QString &busAddress)
    : m_address(busAddress)
    , m_connectionName(QStringLiteral("agentmanager"))
{
}

TestAgentManager::~TestAgentManager()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
}

bool TestAgentManager::join()
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!bus.isConnected() || !bus.registerObject(QStringLiteral("/AgentManager"), this,
                                                  QDBusConnection::ExportScriptableSlots)) {
        qWarning() << "agent manager: cannot export /AgentManager:" << bus.lastError().message();
        return false;
    }
    if (!bus.registerService(QStringLiteral("org.freedesktop.Talvori.Control"))) {
        qWarning() << "agent manager: cannot own org.freedesktop.Talvori.Control:" << bus.lastError().message();
        return false;
    }
    return true;
}

void TestAgentManager::restartAgentInstance(const QString &identifier)
{
    restartRequests.append({identifier, TestPreprocessor::now()});
    if (onRestart)
        onRestart(identifier);
}

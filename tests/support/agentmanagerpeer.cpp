#include "agentmanagerpeer.h"

AgentManagerPeer::AgentManagerPeer()
    : BusPeer(QStringLiteral("org.freedesktop.Talvori.Control"), QStringLiteral("/AgentManager"))
{
}

AgentManagerPeer::~AgentManagerPeer()
{
    // Before the answers go: no call may reach a peer half destroyed.
    unregisterFromBus();
}

bool AgentManagerPeer::handleCall(const QDBusMessage &message)
{
    if (message.interface() != QLatin1String("org.freedesktop.Talvori.AgentManagerInternal"))
        return false;
    const QList<QVariant> args = message.arguments();
    QStringList texts;
    for (const QVariant &arg : args)
        texts.append(arg.toString());
    {
        QMutexLocker lock(&m_mutex);
        record(message.member() + QLatin1Char('(') + texts.join(QLatin1Char(',')) + QLatin1Char(')'));
    }
    reply(message);
    return true;
}

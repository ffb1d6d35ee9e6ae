#ifndef TALVORI_AGENTMANAGERPEER_H
#define TALVORI_AGENTMANAGERPEER_H

#include "buspeer.h"

// The control process's agent manager as the search manager reaches it: it owns
// "org.freedesktop.Talvori.Control" (which the server watches: the peer must stay until the
// server has stopped) and records "addSearch(query,language,id)" and "removeSearch(id)".
class AgentManagerPeer : public BusPeer
{
    Q_OBJECT
public:
    AgentManagerPeer();
    ~AgentManagerPeer() override;

protected:
    bool handleCall(const QDBusMessage &message) override;
};

#endif

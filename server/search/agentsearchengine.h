#ifndef TALVORI_AGENTSEARCHENGINE_H
#define TALVORI_AGENTSEARCHENGINE_H

#include "search/abstractsearchengine.h"

// Hands every persistent search to the agent manager of the control process, which may run it
// by means of its own; the engine keeps nothing. The calls do not wait for an answer, and a
// manager that is not on the bus is only logged.
class AgentSearchEngine : public AbstractSearchEngine
{
public:
    void addSearch(const Talvori::Collection &collection) override;
    void removeSearch(qint64 collectionId) override;
};

#endif

#ifndef TALVORI_CAPABILITY_H
#define TALVORI_CAPABILITY_H

#include "handler.h"

// CAPABILITY: names the protocol the server speaks. Allowed in every state.
class Capability : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

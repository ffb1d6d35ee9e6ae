#ifndef TALVORI_SUBSCRIBE_H
#define TALVORI_SUBSCRIBE_H

#include "handler.h"

// SUBSCRIBE / UNSUBSCRIBE <collection> ...: sets the subscription flag of each collection, all
// or nothing.
class Subscribe : public Handler
{
    Q_OBJECT
public:
    explicit Subscribe(bool subscribe);
    bool parseStream() override;

private:
    bool m_subscribe;
};

#endif

#ifndef TALVORI_EXPUNGE_H
#define TALVORI_EXPUNGE_H

#include "handler.h"

// EXPUNGE: deletes every item that carries the \DELETED flag, in whichever collection, in one
// transaction, and then names each one in a line of its own.
class Expunge : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

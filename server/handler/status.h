#ifndef TALVORI_STATUS_H
#define TALVORI_STATUS_H

#include "handler.h"

// STATUS <collection> (<items>): counts of one collection.
class Status : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

#ifndef TALVORI_APPEND_H
#define TALVORI_APPEND_H

#include "handler.h"

// APPEND: stores a new item whose payload is one "PLD:RFC822" part.
class Append : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

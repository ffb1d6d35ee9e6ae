#ifndef TALVORI_TVAPPEND_H
#define TALVORI_TVAPPEND_H

#include "handler.h"

// X-TVAPPEND: stores a new item made of any number of named parts sent in one string.
class TvAppend : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

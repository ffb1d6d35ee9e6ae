#ifndef TALVORI_RESOURCESELECT_H
#define TALVORI_RESOURCESELECT_H

#include "handler.h"

// RESSELECT <resource name>: sets the session's resource context; the empty name clears it.
class ResourceSelect : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

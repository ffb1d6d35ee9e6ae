#ifndef TALVORI_COPY_H
#define TALVORI_COPY_H

#include "handler.h"

// COPY: copies items, named by id in any collection, into a collection named by id or path: each
// copy a new item with the source's parts, payload and flags (ItemCopier), in one transaction.
// The whole payload is fetched from the resources first, since a copy has no remote identifier
// to fetch it by later.
class Copy : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

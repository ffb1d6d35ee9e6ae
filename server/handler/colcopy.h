#ifndef TALVORI_COLCOPY_H
#define TALVORI_COLCOPY_H

#include "handler.h"

// COLCOPY: copies a collection with its subtree, content types, attributes and items below
// another collection, both named by id or path, in one transaction (CollectionCopier). The whole
// payload of the subtree is fetched from its resource first: the copied items have no remote
// identifier to fetch it by later.
class ColCopy : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

#ifndef TALVORI_SEARCH_H
#define TALVORI_SEARCH_H

#include "handler.h"

// SEARCH: runs a query once, in the server's own index when the "Local" engine is configured and
// at the semantic query service otherwise, and answers with the items it found, in the lines of
// UID FETCH with the word "SEARCH", read with the fetch arguments that follow the query.
class Search : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

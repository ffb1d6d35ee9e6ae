#ifndef TALVORI_SEARCH_H
#define TALVORI_SEARCH_H

#include "handler.h"

// SEARCH: runs a query once at the semantic query service and answers with the items it found,
// in the lines of UID FETCH with the word "SEARCH", read with the fetch arguments that follow
// the query.
class Search : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

#ifndef TALVORI_SEARCHPERSISTENT_H
#define TALVORI_SEARCHPERSISTENT_H

#include "handler.h"

// SEARCH_STORE: keeps a query as a persistent search, a virtual collection below the search root
// whose links the search engines keep up to date.
class SearchPersistent : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

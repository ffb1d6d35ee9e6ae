#ifndef TALVORI_FETCH_H
#define TALVORI_FETCH_H

#include "handler.h"

#include "protocol/scope.h"

// FETCH, UID FETCH, RID FETCH, HRID FETCH: the data of a set of items, one untagged line per item.
// The handler reads the scope; FetchHelper does the rest.
class Fetch : public Handler
{
    Q_OBJECT
public:
    explicit Fetch(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope m_scope;
};

#endif

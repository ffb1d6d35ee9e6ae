#ifndef TALVORI_COLMOVE_H
#define TALVORI_COLMOVE_H

#include "handler.h"

#include "protocol/scope.h"

// COLMOVE, UID COLMOVE, RID COLMOVE, HRID COLMOVE: moves one collection below another (the id 0:
// to the top level), both named in the command's scope, in one transaction. A move to another
// resource fetches the subtree's whole payload from the old resource first, since the new one
// never had it and the old one no longer knows the items afterwards.
class ColMove : public Handler
{
    Q_OBJECT
public:
    explicit ColMove(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope m_scope;
};

#endif

#ifndef TALVORI_MOVE_H
#define TALVORI_MOVE_H

#include "handler.h"

#include "protocol/scope.h"

// MOVE, UID MOVE, RID MOVE, HRID MOVE: puts the items of the scope into the destination, named in
// the same kind of scope, in one transaction. Items that change resources have their whole
// payload fetched from the old resource first, since the new one never had it and the old one
// no longer knows them afterwards.
class Move : public Handler
{
    Q_OBJECT
public:
    explicit Move(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope m_scope;
};

#endif

#ifndef TALVORI_REMOVE_H
#define TALVORI_REMOVE_H

#include "handler.h"

#include "protocol/scope.h"

// REMOVE, UID REMOVE, RID REMOVE, HRID REMOVE: deletes the items of the scope, with their parts,
// payload files, flags and links, in one transaction.
class Remove : public Handler
{
    Q_OBJECT
public:
    explicit Remove(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope m_scope;
};

#endif

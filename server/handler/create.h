#ifndef TALVORI_CREATE_H
#define TALVORI_CREATE_H

#include "handler.h"

#include "protocol/scope.h"

// CREATE <name> <parent> (<attributes>): a new collection below a parent, or at top level for
// the resource the session belongs to.
class Create : public Handler
{
    Q_OBJECT
public:
    explicit Create(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope::SelectionScope m_scope;
};

#endif

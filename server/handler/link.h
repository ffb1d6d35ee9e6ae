#ifndef TALVORI_LINK_H
#define TALVORI_LINK_H

#include "handler.h"

#include "protocol/scope.h"

// LINK and UNLINK (with the scope words of MOVE): add or remove the links from a collection,
// usually a search collection, to items that live elsewhere. The collection comes in the
// command's scope, the items in a scope of their own, named by an optional scope word before
// them. Both answer "LINK complete".
class Link : public Handler
{
    Q_OBJECT
public:
    Link(Scope::SelectionScope scope, bool create);
    bool parseStream() override;

private:
    Scope m_scope;
    bool m_create;
};

#endif

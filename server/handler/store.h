#ifndef TALVORI_STORE_H
#define TALVORI_STORE_H

#include "handler.h"
#include "protocol/scope.h"

// STORE: changes flags, remote identifiers, sizes and part data of existing items.
class Store : public Handler
{
    Q_OBJECT
public:
    explicit Store(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope m_scope;
};

#endif

#ifndef TALVORI_MODIFY_H
#define TALVORI_MODIFY_H

#include "handler.h"

#include "protocol/scope.h"

// MODIFY <collection> <key> <value> ...: changes a collection's fields, content types, cache
// policy, parent, persistent search and custom attributes, and announces what changed.
class Modify : public Handler
{
    Q_OBJECT
public:
    explicit Modify(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope m_scope;
};

#endif

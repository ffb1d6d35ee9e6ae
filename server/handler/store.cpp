#include "store.h"

Store::Store(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Store::parseStream()
{
    return failureResponse("Not implemented");
}

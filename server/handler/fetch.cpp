#include "fetch.h"

Fetch::Fetch(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Fetch::parseStream()
{
    return failureResponse("Not implemented");
}

#include "fetch.h"

#include "fetchhelper.h"

Fetch::Fetch(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Fetch::parseStream()
{
    m_scope.readFromStream(m_streamParser);

    FetchHelper helper(*this, m_scope);
    if (!helper.parseStream("FETCH"))
        return false;

    switch (m_scope.selection()) {
    case Scope::ById:
        return successResponse("UID FETCH completed");
    case Scope::ByRemoteId:
        return successResponse("RID FETCH completed");
    default:
        return successResponse("FETCH completed");
    }
}

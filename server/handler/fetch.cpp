#include "fetch.h"

#include "fetchhelper.h"

Fetch::Fetch(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Fetch::parseStream()
{
    m_scope.readFromStream(m_streamParser);

    FetchHelper helper(m_connection, m_streamParser, m_scope);
    connect(&helper, &FetchHelper::responseAvailable, this, &Fetch::responseAvailable, Qt::DirectConnection);
    connect(&helper, &FetchHelper::failureResponse, this, &Fetch::slotFailureResponse, Qt::DirectConnection);
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

void Fetch::slotFailureResponse(const QString &failureMessage)
{
    failureResponse(failureMessage);
}

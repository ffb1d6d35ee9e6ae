#include "login.h"

#include "protocol/imapstreamparser.h"
#include "storage/session.h"

bool Login::parseStream()
{
    const QByteArray sessionId = m_streamParser->readString();
    if (sessionId.isEmpty())
        return failureResponse("Missing session identifier.");
    m_connection->setSessionId(sessionId);
    successResponse("User logged in");
    Q_EMIT connectionStateChange(Authenticated);
    return true;
}

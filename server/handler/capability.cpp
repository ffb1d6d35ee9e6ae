#include "capability.h"

bool Capability::parseStream()
{
    Response response;
    response.setString("CAPABILITY IMAP4 IMAP4rev1");
    Q_EMIT responseAvailable(response);
    return successResponse("CAPABILITY completed");
}

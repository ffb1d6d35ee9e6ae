#include "logout.h"

bool Logout::parseStream()
{
    Response response;
    response.setBye();
    response.setString("Talvori server logging out");
    Q_EMIT responseAvailable(response);
    successResponse("Logout completed");
    Q_EMIT connectionStateChange(Closing);
    return true;
}

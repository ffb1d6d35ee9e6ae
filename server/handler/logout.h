#ifndef TALVORI_LOGOUT_H
#define TALVORI_LOGOUT_H

#include "handler.h"

// LOGOUT: says goodbye and closes the session. Allowed in every state.
class Logout : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

#ifndef TALVORI_LOGIN_H
#define TALVORI_LOGIN_H

#include "handler.h"

// LOGIN <session id>: names the session and authenticates it.
class Login : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;
};

#endif

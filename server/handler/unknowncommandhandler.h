#ifndef TALVORI_UNKNOWNCOMMANDHANDLER_H
#define TALVORI_UNKNOWNCOMMANDHANDLER_H

#include "handler.h"

// Answers a command word that the session's state does not accept.
class UnknownCommandHandler : public Handler
{
    Q_OBJECT
public:
    explicit UnknownCommandHandler(const QByteArray &command);
    bool parseStream() override;

private:
    QByteArray m_command;
};

#endif

#include "unknowncommandhandler.h"

#include "protocol/imapstreamparser.h"

UnknownCommandHandler::UnknownCommandHandler(const QByteArray &command)
    : m_command(command)
{
}

bool UnknownCommandHandler::parseStream()
{
    Response response;
    response.setTag(m_tag);
    response.setError();
    if (m_command.isEmpty())
        response.setString("No command specified");
    else
        response.setString("Unrecognized command: " + m_command);

    m_streamParser->readUntilCommandEnd();
    Q_EMIT responseAvailable(response);
    return true;
}

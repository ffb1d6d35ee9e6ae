#include "handler.h"

#include "storage/datastore.h"
#include "storage/session.h"

Handler::Handler() = default;
Handler::~Handler() = default;

bool Handler::failureResponse(const QString &failureMessage)
{
    Response response;
    response.setTag(m_tag);
    response.setFailure();
    QString message = failureMessage;
    // Whatever the handler says went wrong, the cause was another client's lock.
    if (m_connection && m_connection->takeLockWaitTimeout()) {
        if (message.endsWith(QLatin1Char('.')))
            message.chop(1);
        message += QStringLiteral(": another connection held a lock for longer than %1 ms.").arg(DataStore::lockTimeout());
    }
    response.setString(message);
    Q_EMIT responseAvailable(response);
    return false;
}

bool Handler::failureResponse(const char *failureMessage)
{
    return failureResponse(QString::fromLatin1(failureMessage));
}

bool Handler::failureResponse(const QByteArray &failureMessage)
{
    return failureResponse(QString::fromLatin1(failureMessage));
}

bool Handler::successResponse(const char *successMessage)
{
    Response response;
    response.setTag(m_tag);
    response.setSuccess();
    response.setString(successMessage);
    Q_EMIT responseAvailable(response);
    return true;
}

bool Handler::errorResponse(const char *errorMessage)
{
    Response response;
    response.setTag(m_tag);
    response.setError();
    response.setString(errorMessage);
    Q_EMIT responseAvailable(response);
    return false;
}

#include "handler.h"

Handler::Handler() = default;
Handler::~Handler() = default;

bool Handler::failureResponse(const QString &failureMessage)
{
    Response response;
    response.setTag(m_tag);
    response.setFailure();
    response.setString(failureMessage);
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

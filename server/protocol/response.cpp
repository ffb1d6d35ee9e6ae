#include "response.h"

static const char *resultWord(Response::ResultCode code)
{
    switch (code) {
    case Response::Success:
        return "OK";
    case Response::Failure:
        return "NO";
    case Response::Error:
        return "BAD";
    case Response::Bye:
        return "BYE";
    case Response::UserDefined:
        break;
    }
    return nullptr;
}

QByteArray Response::asString() const
{
    QByteArray line;
    line.reserve(m_tag.size() + m_text.size() + 6);
    line.append(m_tag);
    const char *word = resultWord(m_resultCode);
    if (m_tag != "*" && m_tag != "+" && word) {
        line.append(' ');
        line.append(word);
    }
    line.append(' ');
    line.append(m_text);
    return line;
}

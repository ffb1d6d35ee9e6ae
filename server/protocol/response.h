#ifndef TALVORI_RESPONSE_H
#define TALVORI_RESPONSE_H

#include <QByteArray>
#include <QMetaType>
#include <QString>

// One response line without its line end: a tagged result, an untagged "*" line or a "+"
// continuation line.
class Response
{
public:
    enum ResultCode { Success, Failure, Error, Bye, UserDefined };

    void setSuccess() { m_resultCode = Success; }
    void setFailure() { m_resultCode = Failure; }
    void setError() { m_resultCode = Error; }
    void setBye() { m_resultCode = Bye; }
    void setUserDefined() { m_resultCode = UserDefined; }
    ResultCode resultCode() const { return m_resultCode; }

    void setTag(const QByteArray &tag) { m_tag = tag; }
    QByteArray tag() const { return m_tag; }
    void setUntagged() { m_tag = "*"; }
    void setContinuation() { m_tag = "+"; }

    // The bytes as they are.
    void setString(const char *text) { m_text = text; }
    void setString(const QByteArray &text) { m_text = text; }
    // Latin-1; characters outside it become "?".
    void setString(const QString &text) { m_text = text.toLatin1(); }
    QByteArray text() const { return m_text; }

    QByteArray asString() const;

private:
    QByteArray m_tag = "*";
    ResultCode m_resultCode = Success;
    QByteArray m_text;
};

Q_DECLARE_METATYPE(Response)

#endif

#ifndef TALVORI_EXCEPTION_H
#define TALVORI_EXCEPTION_H

#include <QByteArray>
#include <QString>

#include <exception>

// Base of every exception the server throws. The connection answers one that escapes a handler
// with a tagged "NO" line made of type(), ": " and what().
class Exception : public std::exception
{
public:
    explicit Exception(const QByteArray &what) noexcept
        : m_what(what)
    {
    }
    explicit Exception(const char *what) noexcept
        : m_what(what)
    {
    }
    explicit Exception(const QString &what) noexcept
        : m_what(what.toUtf8())
    {
    }

    const char *what() const noexcept override { return m_what.constData(); }
    virtual const char *type() const noexcept { return "General Exception"; }

protected:
    QByteArray m_what;
};

// Each subclass differs only in its name, which is its type().
#define TALVORI_DECLARE_EXCEPTION(Name)                                                                                \
    class Name : public Exception                                                                                      \
    {                                                                                                                  \
    public:                                                                                                            \
        using Exception::Exception;                                                                                    \
        const char *type() const noexcept override { return #Name; }                                                   \
    };

// A failure whose message goes to the client as it is.
TALVORI_DECLARE_EXCEPTION(HandlerException)
TALVORI_DECLARE_EXCEPTION(ImapParserException)
TALVORI_DECLARE_EXCEPTION(ItemRetrieverException)
TALVORI_DECLARE_EXCEPTION(PartHelperException)
// A transaction that could not begin; its message, too, goes to the client as it is.
TALVORI_DECLARE_EXCEPTION(TransactionException)

#undef TALVORI_DECLARE_EXCEPTION

#endif

#ifndef TALVORI_HANDLER_H
#define TALVORI_HANDLER_H

#include "protocol/response.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class ImapStreamParser;
class Session;

enum ConnectionState { NonAuthenticated, Authenticated, Closing };

// Carries out one command: reads its arguments from the stream parser, does the work and emits
// its response lines. A handler lives on its connection's thread for one command only, and knows
// its connection only as the session it runs in, so it can run without one.
class Handler : public QObject
{
    Q_OBJECT
public:
    Handler();
    ~Handler() override;

    void setTag(const QByteArray &tag) { m_tag = tag; }
    QByteArray tag() const { return m_tag; }
    void setConnection(Session *session) { m_connection = session; }
    Session *connection() const { return m_connection; }
    void setStreamParser(ImapStreamParser *parser) { m_streamParser = parser; }
    ImapStreamParser *streamParser() const { return m_streamParser; }

    // Emit the tagged result line; failureResponse returns false so the caller can end
    // parseStream() with it and have the rest of the command skipped.
    bool failureResponse(const QString &failureMessage);
    bool failureResponse(const char *failureMessage);
    bool failureResponse(const QByteArray &failureMessage);
    bool successResponse(const char *successMessage);
    // A tagged "BAD" line; returns false as failureResponse does.
    bool errorResponse(const char *errorMessage);
    // Any other line; helpers that build a command's lines send them through their handler.
    void sendResponse(const Response &response) { Q_EMIT responseAvailable(response); }

public Q_SLOTS:
    // Reads the rest of the command, does the work and emits the responses. False when the
    // connection has to skip what is left of the command.
    virtual bool parseStream() = 0;

Q_SIGNALS:
    // Connected directly to the connection, which writes the line before the emit returns.
    void responseAvailable(const Response &response);
    void connectionStateChange(ConnectionState state);

protected:
    QByteArray m_tag;
    Session *m_connection = nullptr;
    ImapStreamParser *m_streamParser = nullptr;
};

#endif

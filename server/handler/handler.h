#ifndef TALVORI_HANDLER_H
#define TALVORI_HANDLER_H

#include "protocol/response.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class ImapStreamParser;
class TalvoriConnection;

enum ConnectionState { NonAuthenticated, Authenticated, Closing };

// Carries out one command: reads its arguments from the stream parser, does the work and emits
// its response lines. A handler lives on its connection's thread for one command only.
class Handler : public QObject
{
    Q_OBJECT
public:
    Handler();
    ~Handler() override;

    void setTag(const QByteArray &tag) { m_tag = tag; }
    QByteArray tag() const { return m_tag; }
    void setConnection(TalvoriConnection *connection) { m_connection = connection; }
    TalvoriConnection *connection() const { return m_connection; }
    void setStreamParser(ImapStreamParser *parser) { m_streamParser = parser; }

    // Emit the tagged result line; failureResponse returns false so the caller can end
    // parseStream() with it and have the rest of the command skipped.
    bool failureResponse(const QString &failureMessage);
    bool failureResponse(const char *failureMessage);
    bool failureResponse(const QByteArray &failureMessage);
    bool successResponse(const char *successMessage);

    static Handler *findHandlerForCommandAlwaysAllowed(const QByteArray &command);
    static Handler *findHandlerForCommandNonAuthenticated(const QByteArray &command);
    static Handler *findHandlerForCommandAuthenticated(const QByteArray &command, ImapStreamParser *parser);

public Q_SLOTS:
    // Reads the rest of the command, does the work and emits the responses. False when the
    // connection has to skip what is left of the command.
    virtual bool parseStream() = 0;

Q_SIGNALS:
    void responseAvailable(const Response &response);
    void connectionStateChange(ConnectionState state);

protected:
    QByteArray m_tag;
    TalvoriConnection *m_connection = nullptr;
    ImapStreamParser *m_streamParser = nullptr;
};

#endif

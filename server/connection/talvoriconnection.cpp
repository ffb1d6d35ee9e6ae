#include "talvoriconnection.h"

#include "common/exception.h"
#include "common/log.h"
#include "common/tracer.h"
#include "handler/commandtable.h"
#include "handler/unknowncommandhandler.h"
#include "protocol/imapstreamparser.h"
#include "storage/datastore.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {
// The socket keeps at most this much unread input, so a client streaming a large literal faster
// than it is stored is held back by the socket instead of filling memory.
constexpr qint64 SocketReadBufferSize = 256 * 1024;
// How much answer text may wait in the socket's buffer before it is drained.
constexpr qint64 SocketWriteBufferLimit = 256 * 1024;
// How long a connection that has to close keeps dropping input, so that the client sees why.
constexpr qint64 CloseGraceMs = 2000;
}

TalvoriConnection::TalvoriConnection(quintptr socketDescriptor, QObject *parent)
    : QThread(parent)
    , m_socketDescriptor(socketDescriptor)
{
    m_identifier = QString::asprintf("%p", static_cast<void *>(this));
}

TalvoriConnection::~TalvoriConnection()
{
    Tracer::self()->endConnection(m_identifier, QString());
}

void TalvoriConnection::run()
{
    m_socket = new QLocalSocket;
    if (!m_socket->setSocketDescriptor(qintptr(m_socketDescriptor), QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
        qWarning().nospace() << "TalvoriConnection(" << m_identifier << ")::run: failed to set socket descriptor: "
                             << m_socket->error() << " (" << m_socket->errorString() << ")";
        delete m_socket;
        m_socket = nullptr;
        return;
    }
    {
        const QMutexLocker locker(&m_socketMutex);
        m_socketOpen = true;
    }
    m_socket->setReadBufferSize(SocketReadBufferSize);
    // The parser exists before anything can deliver input: writing the greeting waits for the
    // socket, and a client that does not wait for the greeting has its bytes signalled meanwhile.
    m_streamParser = new ImapStreamParser(m_socket);
    m_streamParser->setLimits(loginLimits());
    m_streamParser->setContinuationWriter([this](const QByteArray &line) {
        writeOut(line);
        flushOutput(0);
    });

    m_idleTransactionTimer = new QTimer;
    m_idleTransactionTimer->setSingleShot(true);
    connect(m_idleTransactionTimer, &QTimer::timeout, this, &TalvoriConnection::slotIdleTransactionTimeout,
            Qt::DirectConnection);

    connect(m_socket, &QLocalSocket::readyRead, this, &TalvoriConnection::slotNewData, Qt::DirectConnection);
    connect(m_socket, &QLocalSocket::disconnected, this, &TalvoriConnection::slotDisconnected, Qt::DirectConnection);

    m_greeting = true;
    writeOut("* OK Talvori Almost IMAP Server [PROTOCOL 26]");
    flushOutput(0);
    m_greeting = false;

    // Bytes may have arrived before the readyRead connection existed or while the greeting went out.
    if (m_socket->bytesAvailable() > 0)
        slotNewData();

    exec();

    delete m_idleTransactionTimer;
    m_idleTransactionTimer = nullptr;
    {
        const QMutexLocker locker(&m_socketMutex);
        m_socketOpen = false;
    }
    delete m_socket;
    m_socket = nullptr;
    delete m_streamParser;
    m_streamParser = nullptr;
}

void TalvoriConnection::slotNewData()
{
    // A readyRead delivered while a handler waits inside the parser lands here; the handler's own
    // reads consume the data.
    if (m_currentHandler || m_greeting)
        return;

    while (m_socket->bytesAvailable() > 0 || !m_streamParser->readRemainingData(1).isEmpty()) {
        if (m_streamParser->isBroken())
            return;
        handleCommand();
        // A client gone in the middle of a command leaves bytes that can never be completed.
        if (m_socket->state() != QLocalSocket::ConnectedState && m_socket->bytesAvailable() <= 0)
            return;
    }
}

void TalvoriConnection::handleCommand()
{
    try {
        const QByteArray tag = m_streamParser->readString();
        if (tag.isEmpty() && m_streamParser->atCommandEnd())
            return; // an empty line
        const QByteArray command = m_streamParser->readString();

        if (Tracer::self()->isActive()) {
            const QByteArray rest = m_streamParser->readRemainingData(Tracer::MaxTextLength);
            Tracer::self()->connectionInput(m_identifier, Tracer::text(tag + ' ' + command + rest));
        }

        takeLockWaitTimeout(); // a lock given up on in an earlier command is no reason for this one
        m_currentHandler = findHandlerForCommand(command);
        connect(m_currentHandler, &Handler::responseAvailable, this, &TalvoriConnection::slotResponseAvailable,
                Qt::DirectConnection);
        connect(m_currentHandler, &Handler::connectionStateChange, this, &TalvoriConnection::slotConnectionStateChange,
                Qt::DirectConnection);
        m_currentHandler->setTag(tag);
        m_currentHandler->setStreamParser(m_streamParser);
        if (!m_currentHandler->parseStream())
            m_streamParser->skipCurrentCommand();
    } catch (const HandlerException &e) {
        failCommand(e.what());
    } catch (const TransactionException &e) {
        // Its text says why (a lock held too long, a shut-down) and is meant for the client.
        failCommand(e.what());
    } catch (const Exception &e) {
        failCommand(QByteArray(e.type()) + ": " + e.what());
    } catch (...) {
        logError() << "Unknown exception caught: ";
        failCommand("Unknown exception caught");
    }

    delete m_currentHandler;
    m_currentHandler = nullptr;
    flushOutput(0);
    watchIdleTransaction();

    const QByteArray rest = m_streamParser->readRemainingData(2);
    if (rest.startsWith('\n') || rest.startsWith("\r\n")) {
        try {
            m_streamParser->readUntilCommandEnd();
        } catch (const Exception &) {
            // The client went quiet after the line end; the next readyRead starts afresh.
        }
    }
}

void TalvoriConnection::watchIdleTransaction()
{
    if (inTransaction())
        m_idleTransactionTimer->start(m_idleTransactionTimeout);
    else
        m_idleTransactionTimer->stop();
}

void TalvoriConnection::slotIdleTransactionTimeout()
{
    if (m_currentHandler || !inTransaction())
        return;
    storageBackend()->rollbackAll();
    Response response;
    response.setUntagged();
    response.setString(QByteArray("NO Transaction rolled back: no command for ")
                       + QByteArray::number(m_idleTransactionTimeout) + " ms");
    slotResponseAvailable(response);
    flushOutput(0);
}

void TalvoriConnection::failCommand(const QByteArray &message)
{
    if (m_currentHandler)
        m_currentHandler->failureResponse(message);
    if (m_streamParser->isBroken()) {
        // The rest of the stream cannot be told apart from the failed command: answer, then close.
        // A client still busy writing would lose the answer if the socket closed under it, so
        // what it sends meanwhile is dropped for a moment first.
        flushOutput(0);
        QElapsedTimer grace;
        grace.start();
        while (m_socket->state() == QLocalSocket::ConnectedState && grace.elapsed() < CloseGraceMs) {
            m_socket->readAll();
            if (!m_socket->waitForReadyRead(int(qMax<qint64>(1, CloseGraceMs - grace.elapsed()))))
                break;
        }
        m_socket->disconnectFromServer();
        return;
    }
    try {
        m_streamParser->skipCurrentCommand();
    } catch (const Exception &) {
        // The rest of the command never came; what did come is gone with the parser's buffer.
    }
}

ImapStreamParser::Limits TalvoriConnection::loginLimits()
{
    ImapStreamParser::Limits limits;
    limits.maxLiteralSize = 4096;
    limits.maxCommandText = 64 * 1024;
    limits.maxListElements = 1000;
    limits.maxListDepth = 8;
    return limits;
}

Handler *TalvoriConnection::findHandlerForCommand(const QByteArray &command)
{
    Handler *handler = CommandTable::findHandlerForCommandAlwaysAllowed(command);
    if (handler)
        return handler;

    switch (m_connectionState) {
    case NonAuthenticated:
        handler = CommandTable::findHandlerForCommandNonAuthenticated(command);
        break;
    case Authenticated:
        handler = CommandTable::findHandlerForCommandAuthenticated(command, m_streamParser);
        break;
    case Closing:
        break;
    }
    if (!handler)
        handler = new UnknownCommandHandler(command);
    handler->setConnection(this);
    return handler;
}

void TalvoriConnection::shutDownSocket()
{
    const QMutexLocker locker(&m_socketMutex);
    if (m_socketOpen)
        ::shutdown(int(m_socketDescriptor), SHUT_RDWR);
}

void TalvoriConnection::writeOut(const QByteArray &data)
{
    // A client that is gone (or was cut off at shut-down) gets nothing more; the handler ends.
    if (m_socket->state() != QLocalSocket::ConnectedState)
        return;
    m_socket->write(data);
    m_socket->write("\r\n", 2);
    // The lines of one answer reach the socket in bulk; the buffer is only drained on the way when
    // it grows large, so an answer of many lines costs few system calls and little memory.
    flushOutput(SocketWriteBufferLimit);
    if (Tracer::self()->isActive())
        Tracer::self()->connectionOutput(m_identifier, Tracer::text(data + "\r\n"));
}

void TalvoriConnection::flushOutput(qint64 limit)
{
    while (m_socket->bytesToWrite() > limit) {
        if (!m_socket->waitForBytesWritten(30000))
            return; // the client is gone or stopped reading
    }
}

void TalvoriConnection::slotResponseAvailable(const Response &response)
{
    writeOut(response.asString());
}

void TalvoriConnection::slotConnectionStateChange(ConnectionState state)
{
    if (state == m_connectionState)
        return;
    m_connectionState = state;
    if (state == Authenticated)
        m_streamParser->setLimits(m_limits);
    if (state == Closing)
        m_socket->disconnectFromServer();
}

void TalvoriConnection::slotDisconnected()
{
    quit();
}

void TalvoriConnection::setSessionId(const QByteArray &id)
{
    m_identifier = QString::asprintf("%s (%p)", id.constData(), static_cast<void *>(this));
    Tracer::self()->beginConnection(m_identifier, QString());
    Session::setSessionId(id);
}

void TalvoriConnection::addStatusMessage(const QByteArray &msg)
{
    m_statusMessageQueue.append(msg);
}

void TalvoriConnection::flushStatusMessageQueue()
{
    for (const QByteArray &msg : std::as_const(m_statusMessageQueue)) {
        Response response;
        response.setUntagged();
        response.setString(msg);
        slotResponseAvailable(response);
    }
    m_statusMessageQueue.clear();
}

#ifndef TALVORI_SOCKETFEEDER_H
#define TALVORI_SOCKETFEEDER_H

#include <QByteArray>
#include <QLocalServer>
#include <QMutex>
#include <QThread>

#include <atomic>

class QLocalSocket;

// Feeds bytes into a real local socket from a thread of its own, either in one write or one byte
// at a time, as a client sending a command in pieces does, and collects whatever the reading side
// writes back (continuation lines). The reading side is the socket returned by accept().
class SocketFeeder : public QThread
{
    Q_OBJECT
public:
    enum Mode { Whole, Trickle };

    SocketFeeder(const QByteArray &input, Mode mode);
    ~SocketFeeder() override;

    // Starts the writer and returns the server side of its connection (owned by the feeder), or
    // null when the connection failed.
    QLocalSocket *accept();
    // Tells the writer the reader is done; returns everything the reader wrote back.
    QByteArray finish();

protected:
    void run() override;

private:
    QByteArray m_input;
    Mode m_mode;
    QLocalServer m_server;
    QLocalSocket *m_serverSide = nullptr;
    std::atomic<bool> m_done = false;
    QMutex m_mutex; // guards m_received
    QByteArray m_received;
};

#endif

#include "socketfeeder.h"

#include <QLocalSocket>
#include <QUuid>

SocketFeeder::SocketFeeder(const QByteArray &input, Mode mode)
    : m_input(input)
    , m_mode(mode)
{
    m_server.listen(QStringLiteral("feeder-") + QUuid::createUuid().toString(QUuid::Id128));
}

SocketFeeder::~SocketFeeder()
{
    m_done = true;
    wait();
    delete m_serverSide;
}

QLocalSocket *SocketFeeder::accept()
{
    start();
    if (!m_server.waitForNewConnection(10000))
        return nullptr;
    m_serverSide = m_server.nextPendingConnection();
    m_serverSide->setParent(nullptr);
    return m_serverSide;
}

QByteArray SocketFeeder::finish()
{
    m_done = true;
    wait();
    QMutexLocker locker(&m_mutex);
    return m_received;
}

void SocketFeeder::run()
{
    QLocalSocket socket;
    socket.connectToServer(m_server.fullServerName());
    if (!socket.waitForConnected(10000))
        return;

    const auto collect = [&]() {
        if (socket.bytesAvailable() > 0 || socket.waitForReadyRead(0)) {
            const QByteArray data = socket.readAll();
            QMutexLocker locker(&m_mutex);
            m_received.append(data);
        }
    };

    if (m_mode == Whole) {
        socket.write(m_input);
        socket.waitForBytesWritten(10000);
    } else {
        for (const char byte : std::as_const(m_input)) {
            socket.write(&byte, 1);
            socket.waitForBytesWritten(10000);
            collect();
            QThread::usleep(50);
            if (m_done)
                break;
        }
    }
    while (!m_done) {
        socket.waitForReadyRead(20);
        collect();
    }
    collect();
    socket.disconnectFromServer();
}

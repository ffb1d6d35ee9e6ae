#include "localhttpserver.h"

#include <QTcpSocket>

LocalHttpServer::LocalHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { readRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool LocalHttpServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl LocalHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()));
}

void LocalHttpServer::readRequest(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", buffer);
    if (!buffer.contains("\r\n\r\n") || socket->property("answered").toBool()) {
        return;
    }
    socket->setProperty("answered", true);
    // "GET /path?query HTTP/1.1"
    const QList<QByteArray> words = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QUrl url = baseUrl().resolved(QUrl::fromEncoded(words.value(1)));
    m_requests.append(url);
    Q_EMIT requestReceived(url);
    if (m_hold) {
        m_pending.append({socket, url});
    } else {
        answer(socket, url);
    }
}

void LocalHttpServer::release()
{
    m_hold = false;
    const auto pending = m_pending;
    m_pending.clear();
    for (const auto &request : pending) {
        answer(request.first, request.second);
    }
}

void LocalHttpServer::answer(QTcpSocket *socket, const QUrl &url)
{
    const Answer reply = m_responder ? m_responder(url) : Answer{404, QByteArray()};
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + (reply.status == 200 ? " OK" : " Error");
    head += "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(reply.body.size());
    head += "\r\nConnection: close\r\n\r\n";
    socket->write(head + reply.body);
    socket->disconnectFromHost();
}

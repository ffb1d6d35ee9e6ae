#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

// A small HTTP server on 127.0.0.1 for tests of network clients. Each GET is answered by the
// responder; while held, requests wait until release().
class LocalHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
    };
    using Responder = std::function<Answer(const QUrl &url)>;

    explicit LocalHttpServer(QObject *parent = nullptr);

    bool start();
    QUrl baseUrl() const;
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    void setHold(bool hold) { m_hold = hold; }
    void release();
    QList<QUrl> requests() const { return m_requests; }
    int pendingCount() const { return m_pending.size(); }

Q_SIGNALS:
    void requestReceived(const QUrl &url);

private:
    void readRequest(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QUrl &url);

    QTcpServer m_server;
    Responder m_responder;
    bool m_hold = false;
    QList<QUrl> m_requests;
    QList<QPair<QTcpSocket *, QUrl>> m_pending;
};

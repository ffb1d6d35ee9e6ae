#ifndef TALVORI_TESTRESOURCE_H
#define TALVORI_TESTRESOURCE_H

#include "testresourcepeer.h"

#include <QThread>

class TestServer;

#include <memory>

// A resource peer on the test's private bus for the server's item retrieval. It owns
// "org.freedesktop.Talvori.Resource.<id>" with the resource interface at "/" and answers
// "requestItemDelivery" the way the test sets: by storing the parts with "UID STORE" through a
// connection of its own, logged in as <id>, and answering true; by answering false; by doing so
// after a delay; or never. Absent is simply not started, or stopped. It runs on a thread of its
// own, so the test can block in a FETCH while it answers. Every call is recorded.
//
//     TestResource resource(QStringLiteral("res1"), m_server);
//     QVERIFY2(resource.start(), qPrintable(resource.errorString()));
//     resource.setPayload(QStringLiteral("rid1"), "From: ...");
//     ... FETCH ... QCOMPARE(resource.deliveries().size(), 1);
class TestResource
{
public:
    using Mode = TestResourcePeer::Mode;
    using Delivery = TestResourcePeer::Delivery;

    // On the server's socket and bus; the resource must be known to the server
    // (TestServer::addResource) before it delivers.
    TestResource(const QString &id, TestServer &server);
    ~TestResource();

    // Logs in and takes the bus name; false with errorString(). Again after stop() as well.
    bool start();
    // Leaves the bus and the server, as a resource that ended does.
    void stop();
    QString errorString() const { return m_error; }

    void setMode(Mode mode, int delayMs = 0) { m_peer->setMode(mode, delayMs); }
    // What "PLD:RFC822" of the item with this remote id is stored as (other parts get their name
    // and the remote id).
    void setPayload(const QString &remoteId, const QByteArray &data) { m_peer->setPayload(remoteId, data); }
    QByteArray payloadFor(const QString &remoteId, const QString &part = QStringLiteral("RFC822")) const
    {
        return m_peer->payloadFor(remoteId, part);
    }

    QList<Delivery> deliveries() const { return m_peer->deliveries(); }
    QList<qint64> collectionSyncs() const { return m_peer->collectionSyncs(); }
    int treeSyncs() const { return m_peer->treeSyncs(); }
    void clearCalls() { m_peer->clearCalls(); }
    // Waits (running this thread's events) until at least count delivery calls came.
    bool waitForDeliveries(int count, int timeoutMs = 10000) const;

private:
    QThread m_thread;
    std::unique_ptr<TestResourcePeer> m_peer;
    bool m_running = false;
    QString m_error;
};

#endif

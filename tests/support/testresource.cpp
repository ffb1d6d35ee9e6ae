#include "testresource.h"

#include "testserver.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QTest>

TestResource::TestResource(const QString &id, TestServer &server)
    : m_peer(std::make_unique<TestResourcePeer>(id, server.socketPath(), server.bus().address()))
{
    m_peer->moveToThread(&m_thread);
    m_thread.start();
}

TestResource::~TestResource()
{
    stop();
    m_thread.quit();
    m_thread.wait();
}

bool TestResource::start()
{
    bool opened = false;
    QMetaObject::invokeMethod(m_peer.get(), &TestResourcePeer::open, Qt::BlockingQueuedConnection, &opened);
    m_running = true;
    if (!opened) {
        QMetaObject::invokeMethod(m_peer.get(), &TestResourcePeer::errorString, Qt::BlockingQueuedConnection, &m_error);
        stop();
    }
    return opened;
}

void TestResource::stop()
{
    if (!m_running)
        return;
    QMetaObject::invokeMethod(m_peer.get(), &TestResourcePeer::close, Qt::BlockingQueuedConnection);
    m_running = false;
}

bool TestResource::waitForDeliveries(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_peer->deliveries().size() < count) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

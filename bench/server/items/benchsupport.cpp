#include "benchsupport.h"

#include "testclient.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QFile>

namespace BenchSupport {

void require(bool condition, const QByteArray &message)
{
    if (!condition)
        throw Failure(message);
}

void require(bool condition, const TestClient &client, const QByteArray &context)
{
    if (!condition)
        throw Failure(context + client.lastFailure());
}

void require(bool condition, const TestServer &server)
{
    if (!condition)
        throw Failure(server.errorString().toLocal8Bit());
}

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("unknown");
}

} // namespace BenchSupport

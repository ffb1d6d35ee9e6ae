#ifndef TALVORI_BENCH_BENCHSUPPORT_H
#define TALVORI_BENCH_BENCHSUPPORT_H

#include <QByteArray>

class QElapsedTimer;
class TestClient;
class TestServer;

// What the item benchmarks share: a failure that ends a benchmark with its reason, the time a
// phase took, and the machine's load to print beside the figures.
namespace BenchSupport {

class Failure
{
public:
    explicit Failure(QByteArray message)
        : message(std::move(message))
    {
    }
    QByteArray message;
};

// Throw Failure unless condition holds. The failure text of a client or server is read only
// after the call in the condition has run (the order in which arguments are evaluated is
// unspecified, so it cannot be passed as a ready-made message).
void require(bool condition, const QByteArray &message);
void require(bool condition, const TestClient &client, const QByteArray &context = QByteArray());
void require(bool condition, const TestServer &server);

double seconds(const QElapsedTimer &timer);
// /proc/loadavg, or "unknown".
QByteArray loadAverage();

} // namespace BenchSupport

#endif

// Command round trips through a live server: CAPABILITY sent and answered one at a time on one
// connection, then the same commands pipelined in batches. Prints commands per second. With a
// tracer back-end named ("null", "dbus", "file"), the server traces every line through it; with
// "dbus" nobody listens, as when no viewer runs.
//
//   bench_roundtrips [count [tracer]]        (default 20000, null)

#include "testclient.h"
#include "testserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;
    const QString tracer = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("null");

    TestServer server(QStringLiteral("QSQLITE3"));
    TestClient client;
    if (!server.prepare()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    server.environment().writeServerSettings(QStringLiteral("Debug"), QStringLiteral("Tracer"), tracer);
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    if (!server.login(client, "bench"))
        return 1;

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        if (!client.runOk("CAPABILITY"))
            return 1;
    }
    const double sequential = count / (timer.nsecsElapsed() / 1e9);

    const int batch = 100;
    timer.restart();
    for (int i = 0; i < count; i += batch) {
        QByteArray commands;
        for (int j = 0; j < batch; ++j)
            commands += 'p' + QByteArray::number(i + j) + " CAPABILITY\r\n";
        client.send(commands);
        const QByteArray last = 'p' + QByteArray::number(i + batch - 1);
        if (ProtocolClient::resultOf(client.readUntilTagged(last), last) != "OK")
            return 1;
    }
    const double pipelined = count / (timer.nsecsElapsed() / 1e9);

    client.logout();
    server.stop();
    std::printf("capability_roundtrips %.0f commands/s (tracer %s)\n", sequential, qPrintable(tracer));
    std::printf("capability_pipelined %.0f commands/s (tracer %s)\n", pipelined, qPrintable(tracer));
    return 0;
}

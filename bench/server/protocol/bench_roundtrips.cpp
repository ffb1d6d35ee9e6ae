// Command round trips through a live server: CAPABILITY sent and answered one at a time on one
// connection, then the same commands pipelined in batches. Prints commands per second.
//
//   bench_roundtrips [count]        (default 20000)

#include "protocolclient.h"
#include "serverprocess.h"
#include "tempenvironment.h"
#include "testbus.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;

    TempEnvironment environment;
    TestBus bus;
    if (!bus.start(environment.path()))
        return 1;
    bus.exportTo(environment);
    environment.writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"), QStringLiteral("QSQLITE3"));
    ServerProcess server(environment);
    if (!server.start()) {
        std::fprintf(stderr, "server did not start: %s\n", server.output().constData());
        return 1;
    }
    ProtocolClient client;
    if (!client.connectToServer(server.socketPath()))
        return 1;
    client.readLine();
    client.command("a0", "LOGIN bench");

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const QByteArray tag = 'c' + QByteArray::number(i);
        if (ProtocolClient::resultOf(client.command(tag, "CAPABILITY"), tag) != "OK")
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

    client.command("z", "LOGOUT");
    server.stop();
    std::printf("capability_roundtrips %.0f commands/s\n", sequential);
    std::printf("capability_pipelined %.0f commands/s\n", pipelined);
    return 0;
}

// Streams one large literal through a real local socket into the stream parser and prints the
// throughput and this process's peak memory. The writer generates the payload as it goes, so the
// peak shows what the parser and the socket hold, not the payload.
//
//   bench_literalstream [MiB]        (default 100)

#include "protocol/imapstreamparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QUuid>

#include <cstdio>
#include <sys/resource.h>

static long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class Writer : public QThread
{
public:
    Writer(const QString &name, qint64 size)
        : m_name(name)
        , m_size(size)
    {
    }

protected:
    void run() override
    {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (!socket.waitForConnected(10000))
            return;
        socket.write("a1 X {" + QByteArray::number(m_size) + "}\r\n");
        socket.waitForBytesWritten(-1);
        // Like a real client, wait for the continuation line before sending the content.
        while (!socket.canReadLine())
            socket.waitForReadyRead(10000);
        socket.readAll();
        QByteArray chunk(64 * 1024, 'x');
        for (qint64 left = m_size; left > 0; left -= chunk.size()) {
            if (left < chunk.size())
                chunk.truncate(int(left));
            socket.write(chunk);
            while (socket.bytesToWrite() > 256 * 1024)
                socket.waitForBytesWritten(10000);
        }
        socket.write("\r\n");
        while (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(10000);
        socket.waitForReadyRead(10000); // until the reader closes
    }

private:
    QString m_name;
    qint64 m_size;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    const qint64 size = mebibytes * 1024 * 1024;

    QLocalServer server;
    server.listen(QStringLiteral("bench-literal-") + QUuid::createUuid().toString(QUuid::Id128));
    Writer writer(server.fullServerName(), size);
    writer.start();
    if (!server.waitForNewConnection(10000))
        return 1;
    QLocalSocket *socket = server.nextPendingConnection();
    // As the server's connections do: the socket holds back a client that sends faster than we read.
    socket->setReadBufferSize(256 * 1024);

    const long rssBefore = peakRssKiB();
    QElapsedTimer timer;
    timer.start();
    ImapStreamParser parser(socket);
    parser.readString();
    parser.readString();
    qint64 received = 0;
    if (!parser.hasLiteral())
        return 1;
    while (!parser.atLiteralEnd())
        received += parser.readLiteralPart().size();
    parser.atCommandEnd();
    const double seconds = timer.nsecsElapsed() / 1e9;
    socket->disconnectFromServer();
    writer.wait();

    if (received != size) {
        std::fprintf(stderr, "received %lld of %lld bytes\n", static_cast<long long>(received), static_cast<long long>(size));
        return 1;
    }
    std::printf("literal_size %lld MiB\n", static_cast<long long>(mebibytes));
    std::printf("literal_throughput %.1f MB/s\n", size / seconds / 1e6);
    std::printf("peak_rss_before %.1f MiB\n", rssBefore / 1024.0);
    std::printf("peak_rss %.1f MiB\n", peakRssKiB() / 1024.0);
    return 0;
}

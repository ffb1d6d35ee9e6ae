// A whole client session per input: a logged-in connection of the server, on its own thread as in
// the server, reads the input as what its client sends (several commands, literals included) and
// runs every handler it names against an SQLite database, until the client has nothing more to
// say. Each input starts from the same database, so a finding replays. Nothing the client sends
// may crash the server, corrupt memory or leave the connection hanging.

#include "connection/talvoriconnection.h"
#include "storage/datastore.h"
#include "teststorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Fixture {
    int argc = 1;
    char name[8] = "fuzzer";
    char *argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    TestStorage storage{QStringLiteral("QSQLITE3")};
    QString database;
    QString pristine;
    QString payloads;

    Fixture()
    {
        // No bus: searches and agents fail at once instead of waiting for a peer.
        storage.environment().unsetVariable(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        if (!storage.prepare()) {
            qFatal("no database: %s", qPrintable(storage.errorString()));
        }
        database = storage.environment().dataHome() + QLatin1String("/talvori/talvori.db");
        pristine = database + QLatin1String(".pristine");
        payloads = storage.environment().dataHome() + QLatin1String("/talvori/file_db_data");
        // The session is this resource's, so that it may create top-level collections.
        QSqlQuery resource(DataStore::self()->database());
        if (!resource.exec(QStringLiteral("INSERT INTO ResourceTable (name, isVirtual) VALUES ('fuzz', 0)")))
            qFatal("cannot add the resource");
        resource.finish();
        DataStore::self()->close();
        if (!QFile::copy(database, pristine))
            qFatal("cannot keep a copy of the empty database");
    }

    // The database as it was after its schema was made, and no payload files.
    void reset() const
    {
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(database + suffix);
        QFile::copy(pristine, database);
        QDir(payloads).removeRecursively();
        QDir().mkpath(payloads);
    }
};

// Sends everything and reads the answers meanwhile, so that a long answer cannot block the
// connection while the input is still on its way. The session ends with LOGOUT, after which the
// server closes; an input that leaves a command unfinished (a literal short of its size) keeps it
// waiting instead, and the client gives up once the answers have stopped for a moment. (A client
// that only shuts down its sending side is a client that has gone.)
void converse(int socket, const QByteArray &input)
{
    qsizetype written = 0;
    char buffer[65536];
    for (;;) {
        const bool sending = written < input.size();
        pollfd descriptor{socket, short(POLLIN | (sending ? POLLOUT : 0)), 0};
        const int ready = ::poll(&descriptor, 1, sending ? 30000 : 200);
        // libFuzzer's timeout check is a periodic SIGALRM, which interrupts the wait.
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (ready == 0 && sending))
            std::abort(); // the connection neither reads nor answers
        if (ready == 0)
            return;
        if (descriptor.revents & POLLOUT) {
            const ssize_t n = ::send(socket, input.constData() + written, size_t(input.size() - written), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            written = n < 0 ? input.size() : written + n; // one that stopped reading has closed
        }
        if (descriptor.revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(socket, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Fixture fixture;
    fixture.reset();

    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
        std::abort();
    TalvoriConnection connection{quintptr(sockets[0])};
    // Small bounds keep one input's memory small; they are the server's own checks all the same.
    ImapStreamParser::Limits limits;
    limits.maxLiteralSize = 1 << 20;
    limits.maxCommandText = 1 << 20;
    limits.maxListElements = 10000;
    limits.maxListDepth = 16;
    connection.setParserLimits(limits);
    connection.start();

    const QByteArray session(reinterpret_cast<const char *>(data), qsizetype(size));
    converse(sockets[1], "0 LOGIN fuzz\r\n" + session + "\r\nZ LOGOUT\r\n");
    ::close(sockets[1]);
    if (!connection.wait(30000))
        std::abort();
    return 0;
}

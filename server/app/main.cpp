#include "common/log.h"
#include "common/privatefiles.h"
#include "connection/talvoriserver.h"
#include "connection/tvapplication.h"
#include "unixsignalwatcher.h"

#include <notificationmessage.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

int main(int argc, char **argv)
{
    // Before the first file is written: the error log comes with the application frame.
    PrivateFiles::restrictNewFiles();

    // The bus types are registered before the first use of the bus. The bus connection's thread is
    // stopped only at process exit, after every global constructed later than the connection
    // manager is gone; a message still being marshalled then would find the type registry
    // destroyed and crash the server on its way out.
    NotificationMessage::registerDBusTypes();

    TvApplication app(argc, argv);
    app.setDescription(QStringLiteral("Talvori storage server\nUsage: talvoriserver [options]"));
    app.readCommandLine();

    // One server per bus: a second one must not take the first one's socket and database away.
    if (!QDBusConnection::sessionBus().registerService(QStringLiteral("org.freedesktop.Talvori"))) {
        logError() << "Unable to register service org.freedesktop.Talvori: another server is already running on this bus.";
        return 1;
    }

    // Watching before the server starts: the connection file that tells clients it is there is
    // written during start-up, and a SIGTERM right after it must shut down in order too. The
    // signal waits in the watcher until the event loop runs.
    UnixSignalWatcher signalWatcher;
    TalvoriServer *server = TalvoriServer::instance();
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, server, &TalvoriServer::quit);

    return app.exec();
}

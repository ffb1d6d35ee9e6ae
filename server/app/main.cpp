#include "common/log.h"
#include "connection/talvoriserver.h"
#include "unixsignalwatcher.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    initLogging(QString::fromLatin1(argv[0]));

    TalvoriServer *server = TalvoriServer::instance();
    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, server, &TalvoriServer::quit);

    return app.exec();
}

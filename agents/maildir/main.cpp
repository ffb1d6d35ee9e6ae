// talvori-maildir-resource: mirrors a Maildir tree into the Talvori server as one resource. See
// MaildirResource; the README says how to run it.

#include "agentlog.h"
#include "maildirresource.h"

#include <protocolclient.h>

#include <QCommandLineParser>
#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talvori-maildir-resource"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Mirrors a Maildir (with its Maildir++ subfolders) into the Talvori server as the resource IDENTIFIER.\n"
        "Messages are cached with their header; the server asks for the rest when a client wants it.\n"
        "The Maildir is only read."));
    parser.addHelpOption();
    const QCommandLineOption identifierOption(QStringLiteral("identifier"),
                                              QStringLiteral("The resource's identifier (its name on the bus and in the server)."),
                                              QStringLiteral("IDENTIFIER"));
    const QCommandLineOption pathOption(QStringLiteral("path"), QStringLiteral("The Maildir to mirror."),
                                        QStringLiteral("DIRECTORY"));
    const QCommandLineOption socketOption(QStringLiteral("socket"),
                                          QStringLiteral("The server's socket (default: from the connection settings file)."),
                                          QStringLiteral("name"));
    const QCommandLineOption noSyncOption(QStringLiteral("no-initial-sync"),
                                          QStringLiteral("Do not synchronise at start, only when asked over the bus."));
    parser.addOptions({identifierOption, pathOption, socketOption, noSyncOption});
    parser.process(app);

    const QString identifier = parser.value(identifierOption);
    const QString path = parser.value(pathOption);
    if (identifier.isEmpty() || path.isEmpty()) {
        AgentLog::message(QStringLiteral("--identifier and --path are needed (see --help)"));
        return 2;
    }
    AgentLog::setIdentifier(identifier);
    const QString socket = parser.isSet(socketOption) ? parser.value(socketOption) : ProtocolClient::serverSocketName();

    MaildirResource resource(identifier, path, socket);
    if (!resource.start(!parser.isSet(noSyncOption))) {
        AgentLog::message(resource.errorString());
        return 1;
    }
    return app.exec();
}

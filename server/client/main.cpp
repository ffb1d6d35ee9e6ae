// talvori-client: sends protocol commands to a running server and prints every response line.
// Each command is one line with its own tag ("a1 LOGIN me"); a line ending in "{@path}" sends the
// file at path as a literal. Exit code 0 only when every command was answered "OK".

#include "protocolclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

static void print(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

static bool runCommand(ProtocolClient &client, const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return true;
    const int space = trimmed.indexOf(' ');
    const QByteArray tag = space < 0 ? trimmed : trimmed.left(space);

    QList<QByteArray> answer;
    static const QRegularExpression fileLiteral(QStringLiteral("\\{@([^}]+)\\}$"));
    const QRegularExpressionMatch match = fileLiteral.match(QString::fromUtf8(trimmed));
    if (match.hasMatch() && space > 0) {
        QFile file(match.captured(1));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "talvori-client: cannot read %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(file.errorString()));
            return false;
        }
        const QByteArray prefix = trimmed.mid(space + 1, match.capturedStart(0) - space - 1);
        answer = client.commandWithLiteral(tag, prefix, &file, file.size());
    } else {
        answer = space < 0 ? client.command(tag, QByteArray()) : client.command(tag, trimmed.mid(space + 1));
    }
    for (const QByteArray &responseLine : std::as_const(answer))
        print(responseLine);
    return ProtocolClient::resultOf(answer, tag) == "OK";
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talvori-client"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends commands to the Talvori server, one per argument or, without arguments, one per line of standard input.\n"
        "Each command carries its own tag, e.g. \"a1 LOGIN me\". A command ending in {@path} sends that file as a literal."));
    parser.addHelpOption();
    QCommandLineOption socketOption(QStringLiteral("socket"),
                                    QStringLiteral("Socket name (default: from the connection settings file)."),
                                    QStringLiteral("name"));
    parser.addOption(socketOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("A tagged command line."), QStringLiteral("[command...]"));
    parser.process(app);

    QString socketName = parser.value(socketOption);
    if (socketName.isEmpty())
        socketName = ProtocolClient::serverSocketName();

    ProtocolClient client;
    if (!client.connectToServer(socketName)) {
        std::fprintf(stderr, "talvori-client: cannot connect to %s: %s\n", qPrintable(socketName),
                     qPrintable(client.errorString()));
        return 2;
    }
    bool ok = false;
    print(client.readLine(&ok));
    if (!ok)
        return 2;

    bool allOk = true;
    const QStringList commands = parser.positionalArguments();
    if (!commands.isEmpty()) {
        for (const QString &command : commands)
            allOk = runCommand(client, command.toUtf8()) && allOk;
    } else {
        QFile input;
        input.open(stdin, QIODevice::ReadOnly);
        while (!input.atEnd())
            allOk = runCommand(client, input.readLine()) && allOk;
    }
    client.disconnectFromServer();
    return allOk ? 0 : 1;
}

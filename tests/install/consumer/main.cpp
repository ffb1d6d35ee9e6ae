// Uses a little of each installed library, so that its headers compile and its symbols link.
#include <graph.h>
#include <graphdocument.h>
#include <imapset.h>
#include <protocolclient.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    ImapSet set;
    set.add(QList<qint64>{1, 2, 3, 7});

    GraphDocument document(QStringLiteral("consumer"), 800, 600);
    Graph *graph = document.addGraph(QStringLiteral("g"));
    graph->addEdge(graph->addNode(QStringLiteral("a")), graph->addNode(QStringLiteral("b")));

    // No server listens there: the client only has to say so.
    ProtocolClient client;
    const bool connected = client.connectToServer(QStringLiteral("/nonexistent/talvori-socket"), 100);

    std::printf("set %s nodes %lld edges %lld connected %d\n", set.toImapSequenceSet().constData(),
                static_cast<long long>(graph->nodes().size()), static_cast<long long>(graph->edges().size()),
                int(connected));
    return 0;
}

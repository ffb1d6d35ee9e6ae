// Feeds arbitrary bytes to the edge-list reader, as an edge list and as an adjacency list, and
// writes each result back in the same format; nothing may crash, hang or run out of memory.
#include "fuzzapplication.h"
#include "edgelistreader.h"
#include "edgelistwriter.h"

#include <graph.h>
#include <graphdocument.h>

#include <QBuffer>
#include <QCoreApplication>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureFuzzApplication();

    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (EdgeListReader::Format format : {EdgeListReader::Edges, EdgeListReader::Adjacency}) {
        QBuffer input(&bytes);
        input.open(QIODevice::ReadOnly);
        GraphDocument doc(QStringLiteral("fuzz"), 800, 600);
        Grix::ReadWarnings warnings;
        EdgeListReader(doc.addGraph(), format, &warnings).read(&input);
        QByteArray out;
        QBuffer output(&out);
        output.open(QIODevice::WriteOnly);
        EdgeListWriter(*doc.first(), format).write(&output);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

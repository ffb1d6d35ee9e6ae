// Feeds arbitrary bytes to the GraphML reader and writes what it made back as GraphML; neither
// may crash, hang or run out of memory.
#include "fuzzapplication.h"
#include "graphmlreader.h"
#include "graphmlwriter.h"

#include <graphdocument.h>

#include <QBuffer>
#include <QCoreApplication>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureFuzzApplication();

    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);
    GraphDocument doc(QStringLiteral("fuzz"), 800, 600);
    Grix::ReadWarnings warnings;
    GraphMLReader reader(&doc, &warnings);
    reader.read(&input);
    warnings.texts();
    QByteArray out;
    QBuffer output(&out);
    output.open(QIODevice::WriteOnly);
    GraphMLWriter(doc).write(&output);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

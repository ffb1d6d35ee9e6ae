// Feeds arbitrary bytes to the ".graph" reader and saves what it made, which must never crash.
#include "fuzzapplication.h"

#include <graphdocument.h>

#include <QBuffer>
#include <QCoreApplication>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureFuzzApplication();

    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    GraphDocument doc(QStringLiteral("fuzz"), 800, 600);
    doc.loadFromInternalFormat(&buffer);
    // Deferred deletions (a refused node, a removed graph) run here, as an event loop would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

// Feeds arbitrary bytes to the ".graph" reader and saves what it made, which must never crash.
#include <graphdocument.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_graphfile";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("dax.debug=false"));
        return true;
    }();
    Q_UNUSED(quiet)

    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    GraphDocument doc(QStringLiteral("fuzz"), 800, 600);
    doc.loadFromInternalFormat(&buffer);
    // Deferred deletions (a refused node, a removed graph) run here, as an event loop would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

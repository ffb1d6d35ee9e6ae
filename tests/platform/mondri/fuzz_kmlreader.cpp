// Fuzz target: arbitrary bytes through the KML reader, then the whole tree through the model, the
// way the render plug-ins walk it.

#include "geodatadocument.h"
#include "geodatageometry.h"
#include "geodatatreemodel.h"
#include "kmlreader.h"

#include <cstdint>

using namespace Mondri;

namespace {

int walk(const QAbstractItemModel &model, const QModelIndex &index)
{
    int count = 0;
    const int rows = model.rowCount(index);
    for (int i = 0; i < rows; ++i) {
        const QModelIndex child = model.index(i, 0, index);
        auto *object = model.data(child, 43).value<GeoDataObject *>();
        if (!object || model.parent(child) != index)
            __builtin_trap();
        if (object->isGeometry())
            static_cast<GeoDataGeometry *>(object)->latLonBox();
        count += 1 + walk(model, child);
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    KmlReader reader;
    auto document = reader.read(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!document) {
        if (reader.errorString().isEmpty())
            __builtin_trap();
        return 0;
    }
    // Every skipped element is reported with its place; only the count of the rest has none.
    const QStringList warnings = reader.warnings();
    for (qsizetype i = 0; i < warnings.size(); ++i) {
        if (!warnings[i].startsWith(QLatin1String("line ")) && !(i == warnings.size() - 1 && warnings[i].endsWith(QLatin1String("more elements skipped"))))
            __builtin_trap();
    }
    GeoDataTreeModel model(document.get());
    walk(model, QModelIndex());
    return 0;
}

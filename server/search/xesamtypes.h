#ifndef TALVORI_XESAMTYPES_H
#define TALVORI_XESAMTYPES_H

#include <QList>
#include <QMetaType>
#include <QVariant>

// Hits as a Xesam search service sends them: one list of field values per hit (aav). The proxy
// of the service includes this header.
using XesamHits = QList<QVariantList>;

namespace XesamTypes {

// Registers the hit list with the bus type system; safe to call again.
void registerTypes();

} // namespace XesamTypes

#endif

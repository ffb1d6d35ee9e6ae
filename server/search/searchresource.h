#ifndef TALVORI_SEARCHRESOURCE_H
#define TALVORI_SEARCHRESOURCE_H

#include "storage/entities.h"

#include <QList>

// The built-in virtual resource that owns every persistent search, and its top-level collection
// below which the searches live. Both come with the schema's initial rows; they are found by
// their names, since after an upgrade or in a database filled by other means they need not have
// the ids a fresh schema gives them.
namespace SearchResource {

// "talvori_search_resource"; invalid when the database has none.
Talvori::Resource resource();
// The resource's top-level collection "Search"; invalid when there is none.
Talvori::Collection root();
// Every collection of the resource except the root: the persistent searches.
QList<Talvori::Collection> searches();

} // namespace SearchResource

#endif

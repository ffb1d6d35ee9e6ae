#ifndef TALVORI_ABSTRACTSEARCHENGINE_H
#define TALVORI_ABSTRACTSEARCHENGINE_H

#include <QtGlobal>

namespace Talvori {
class Collection;
}

// An engine that keeps persistent searches up to date. The search manager calls it on the main
// thread only, one request at a time, in the order the requests were made; an engine ignores the
// searches of query languages it does not run.
class AbstractSearchEngine
{
public:
    virtual ~AbstractSearchEngine() = default;

    // Start maintaining the search of this collection (its query language and query string).
    virtual void addSearch(const Talvori::Collection &collection) = 0;
    // Stop maintaining it; a collection the engine does not know is no error.
    virtual void removeSearch(qint64 collectionId) = 0;
};

#endif

#ifndef TALVORI_COLLECTIONTREEFILLER_H
#define TALVORI_COLLECTIONTREEFILLER_H

#include <QString>

// Fills the calling thread's data store with a collection tree of one resource: top-level
// collections and below them levels of fanout children each, breadth first, until the count is
// reached. Every collection allows two content types and every third carries an attribute; the
// items are spread evenly over the collections, every second one flagged \SEEN. One transaction.
class CollectionTreeFiller
{
public:
    CollectionTreeFiller(const QString &resourceName, int fanout = 10);
    bool fill(int collections, int items);

private:
    QString m_resourceName;
    int m_fanout;
};

#endif

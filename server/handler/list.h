#ifndef TALVORI_LIST_H
#define TALVORI_LIST_H

#include "handler.h"

#include "protocol/scope.h"
#include "storage/collectiontree.h"
#include "storage/entities.h"

#include <QList>
#include <QStack>

// LIST, LSUB, X-TVLIST, X-TVLSUB: a subtree of collections, children before their parent, with
// optional resource and content type filters, statistics and ancestors.
class List : public Handler
{
    Q_OBJECT
public:
    List(Scope::SelectionScope scope, bool onlySubscribed);
    bool parseStream() override;

private:
    bool listCollection(const Talvori::Collection &collection, int depth,
                        const QStack<Talvori::Collection> &ancestors);
    void loadTree();
    void readFilters();
    void readOptions();

    Scope m_scope;
    bool m_onlySubscribed;
    Talvori::Resource m_resource;
    QList<qint64> m_mimeTypes;
    bool m_includeStatistics = false;
    int m_ancestorDepth = 0;
    CollectionTree m_tree;
};

#endif

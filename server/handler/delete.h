#ifndef TALVORI_DELETE_H
#define TALVORI_DELETE_H

#include "handler.h"

#include "protocol/scope.h"
#include "storage/entities.h"

// DELETE <collection>: removes a collection with its whole subtree, children first.
class Delete : public Handler
{
    Q_OBJECT
public:
    explicit Delete(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    bool deleteRecursive(Talvori::Collection &collection);

    Scope m_scope;
};

#endif

#ifndef TALVORI_SELECT_H
#define TALVORI_SELECT_H

#include "handler.h"

#include "protocol/scope.h"

// SELECT [SILENT] <collection>: makes a collection the session's working collection and reports
// its counts.
class Select : public Handler
{
    Q_OBJECT
public:
    explicit Select(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    Scope::SelectionScope m_scope;
};

#endif

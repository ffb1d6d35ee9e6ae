#ifndef TALVORI_SELECTQUERYBUILDER_H
#define TALVORI_SELECTQUERYBUILDER_H

#include "storage/querybuilder.h"

// A selection of whole records of one entity class T: every column of T's table, read back into
// T records by result().
template<typename T>
class SelectQueryBuilder : public QueryBuilder
{
public:
    SelectQueryBuilder()
        : QueryBuilder(T::tableName(), SelectStatement)
    {
        addColumns(T::fullColumnNames());
    }

    QList<T> result() { return T::extractResult(query()); }
};

#endif

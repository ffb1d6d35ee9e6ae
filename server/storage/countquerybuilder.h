#ifndef TALVORI_COUNTQUERYBUILDER_H
#define TALVORI_COUNTQUERYBUILDER_H

#include "storage/querybuilder.h"

// Counts the rows of a table that match the conditions added to it.
class CountQueryBuilder : public QueryBuilder
{
public:
    explicit CountQueryBuilder(const QString &table);

    // The count, or -1 when the executed statement gave no row.
    int result();
};

#endif

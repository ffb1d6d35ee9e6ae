#include "tvappend.h"

bool TvAppend::parseStream()
{
    return failureResponse("Not implemented");
}

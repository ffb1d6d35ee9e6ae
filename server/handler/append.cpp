#include "append.h"

bool Append::parseStream()
{
    return failureResponse("Not implemented");
}

#ifndef TALVORI_ITEMSCOPEQUERY_H
#define TALVORI_ITEMSCOPEQUERY_H

#include "storage/itemqueryhelper.h"

class ImapSet;
class QueryBuilder;
class Scope;
class TalvoriConnection;

// The session-aware forms of the item conditions: they read the selected collection and the
// resource context from the connection, which the storage layer does not know.
namespace ItemQueryHelper {

// Without the UID flag the set counts within the selected collection.
void itemSetToQuery(const ImapSet &set, bool isUid, TalvoriConnection *connection, QueryBuilder &qb);
// Throws HandlerException when the scope cannot be resolved in this session.
void scopeToQuery(const Scope &scope, TalvoriConnection *connection, QueryBuilder &qb);

} // namespace ItemQueryHelper

#endif

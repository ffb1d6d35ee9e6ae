#ifndef TALVORI_ITEMQUERYHELPER_H
#define TALVORI_ITEMQUERYHELPER_H

#include <QStringList>

#include <QtGlobal>

class ImapSet;
class QueryBuilder;
class Scope;
class Session;

namespace Talvori {
class Collection;
class Resource;
}

// Conditions that select items, shared by every item command.
namespace ItemQueryHelper {

// The ids of the set; within a valid collection only its items (for a search collection, the
// items linked to it).
void itemSetToQuery(const ImapSet &set, QueryBuilder &qb, const Talvori::Collection &collection);

// Items by remote identifier, within the resource context when it is valid, else within the
// selected collection when its id is above 0.
void remoteIdToQuery(const QStringList &rids, const Talvori::Resource &resourceContext,
                     qint64 selectedCollectionId, QueryBuilder &qb);

// The same conditions as the session sees them: without the UID flag the set counts within the
// session's selected collection.
void itemSetToQuery(const ImapSet &set, bool isUid, const Session &session, QueryBuilder &qb);
// Joins each item's MIME type, collection and resource, so that their columns can be selected.
void joinTypeCollectionAndResource(QueryBuilder &qb);

// The items a command's scope names in this session. Throws HandlerException with the client's
// message when the scope cannot be resolved in it.
void scopeToQuery(const Scope &scope, const Session &session, QueryBuilder &qb);

} // namespace ItemQueryHelper

#endif

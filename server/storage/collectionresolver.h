#ifndef TALVORI_COLLECTIONRESOLVER_H
#define TALVORI_COLLECTIONRESOLVER_H

#include "storage/entities.h"

#include <QStringList>

class QueryBuilder;
class Scope;
class Session;
template<typename T> class SelectQueryBuilder;

// Finds collections the way commands name them: by a scope within the session's selected
// collection and resource context, by a chain of remote identifiers, or by id or path. Failures of
// the scope forms throw HandlerException with the message the client gets.
namespace CollectionResolver {

void addScopeCondition(const Scope &scope, const Session &session, QueryBuilder &qb);
void addRemoteIdCondition(const QStringList &remoteIds, const Session &session, QueryBuilder &qb);
// The chain runs from the addressed collection (first) to the root (last, empty).
Talvori::Collection resolveRidChain(const QStringList &chain, qint64 resourceId);
// The set "0" names the root: an unloaded record with id 0.
Talvori::Collection resolveSingle(const Scope &scope, const Session &session);
// The one collection the scope names; each caller names its own failures.
Talvori::Collection resolveUnique(const Scope &scope, const Session &session, const char *noneFound,
                                  const char *notUnique);
// The collections of the resource with that remote identifier; false when the query failed.
bool findByRemoteId(const QString &remoteId, qint64 resourceId, QList<Talvori::Collection> &collections);
// Runs qb and returns the one collection it finds; each caller names its own three failures.
Talvori::Collection uniqueResult(SelectQueryBuilder<Talvori::Collection> &qb, const char *queryFailed,
                                 const char *noneFound, const char *notUnique);

// Whether no other child of the parent (0: the top level) carries the name.
bool isNameUnique(const Talvori::Collection &collection, const QString &name, qint64 parentId);

// By decimal id, or by a slash-separated path of names from the top level; invalid when not found.
Talvori::Collection findCollection(const QByteArray &idOrPath);
// The names from the top level down to the collection, joined by "/".
QString collectionPath(const Talvori::Collection &collection);

} // namespace CollectionResolver

#endif

#ifndef TALVORI_COLLECTIONRESOLVER_H
#define TALVORI_COLLECTIONRESOLVER_H

#include "storage/entities.h"

#include <QStringList>

class QueryBuilder;
class Scope;
template<typename T> class SelectQueryBuilder;
class TalvoriConnection;

// Turns a scope into collection query conditions or into one collection, within the session's
// selected collection and resource context. Failures throw HandlerException with the message the
// client gets.
namespace CollectionResolver {

void addScopeCondition(const Scope &scope, TalvoriConnection *connection, QueryBuilder &qb);
void addRemoteIdCondition(const QStringList &remoteIds, TalvoriConnection *connection, QueryBuilder &qb);
// The chain runs from the addressed collection (first) to the root (last, empty).
Talvori::Collection resolveRidChain(const QStringList &chain, qint64 resourceId);
// The set "0" names the root: an unloaded record with id 0.
Talvori::Collection resolveSingle(const Scope &scope, TalvoriConnection *connection);
// Runs qb and returns the one collection it finds; each caller names its own three failures.
Talvori::Collection uniqueResult(SelectQueryBuilder<Talvori::Collection> &qb, const char *queryFailed,
                                 const char *noneFound, const char *notUnique);

bool isNameUnique(const Talvori::Collection &collection, const QString &name, qint64 parentId);
bool canMoveUnder(const Talvori::Collection &collection, const Talvori::Collection &newParent);

} // namespace CollectionResolver

#endif

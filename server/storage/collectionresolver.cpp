#include "storage/collectionresolver.h"

#include "common/exception.h"
#include "protocol/scope.h"
#include "storage/queryhelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/session.h"

using namespace Talvori;

namespace {

void addParentCondition(QueryBuilder &qb, qint64 parentId)
{
    if (parentId <= 0)
        qb.addValueCondition(Collection::parentIdColumn(), Query::Is, QVariant());
    else
        qb.addValueCondition(Collection::parentIdColumn(), Query::Equals, parentId);
}

} // namespace

void CollectionResolver::addScopeCondition(const Scope &scope, const Session &session, QueryBuilder &qb)
{
    switch (scope.selection()) {
    case Scope::Plain:
    case Scope::ById:
        QueryHelper::setToQuery(scope.idSet(), Collection::idFullColumnName(), qb);
        return;
    case Scope::ByRemoteId:
        if (session.selectedCollectionId() <= 0 && !session.resourceContext().isValid())
            throw HandlerException("Operations based on remote identifiers require a resource or collection context");
        addRemoteIdCondition(scope.remoteIdList(), session, qb);
        return;
    case Scope::ByRemotePath: {
        if (!session.resourceContext().isValid())
            throw HandlerException(
                "Operations based on hierarchical remote identifiers require a resource or collection context");
        const Collection collection = resolveRidChain(scope.remoteIdChain(), session.resourceContext().id());
        qb.addValueCondition(Collection::idFullColumnName(), Query::Equals, collection.id());
        return;
    }
    }
    throw HandlerException("WTF?");
}

void CollectionResolver::addRemoteIdCondition(const QStringList &remoteIds, const Session &session,
                                              QueryBuilder &qb)
{
    if (remoteIds.size() == 1) {
        qb.addValueCondition(Collection::remoteIdFullColumnName(), Query::Equals, remoteIds.first());
    } else {
        qb.addValueCondition(Collection::remoteIdFullColumnName(), Query::In, remoteIds);
    }
    if (session.resourceContext().isValid())
        qb.addValueCondition(Collection::resourceIdFullColumnName(), Query::Equals,
                             session.resourceContext().id());
}

Collection CollectionResolver::resolveRidChain(const QStringList &chain, qint64 resourceId)
{
    if (chain.size() < 2)
        throw HandlerException("Empty or incomplete hierarchical RID chain");
    if (!chain.last().isEmpty())
        throw HandlerException("Hierarchical RID chain is not root-terminated");

    qint64 parentId = 0;
    Collection result;
    for (qsizetype i = chain.size() - 2; i >= 0; --i) {
        SelectQueryBuilder<Collection> qb;
        addParentCondition(qb, parentId);
        qb.addValueCondition(Collection::remoteIdColumn(), Query::Equals, chain.at(i));
        qb.addValueCondition(Collection::resourceIdColumn(), Query::Equals, resourceId);
        if (!qb.exec())
            throw HandlerException("Unable to execute query");
        const QList<Collection> results = qb.result();
        if (results.size() != 1)
            throw HandlerException("Hierarchical RID does not specify a unique collection");
        result = results.first();
        parentId = result.id();
    }
    return result;
}

Collection CollectionResolver::resolveSingle(const Scope &scope, const Session &session)
{
    if (scope.selection() == Scope::Plain || scope.selection() == Scope::ById) {
        const ImapInterval::List intervals = scope.idSet().intervals();
        if (intervals.size() == 1 && intervals.first().size() == 0
            && intervals.first().begin() == 0 && intervals.first().end() == 0) {
            Collection root;
            root.setId(0);
            return root;
        }
    }

    SelectQueryBuilder<Collection> qb;
    addScopeCondition(scope, session, qb);
    return uniqueResult(qb, "Unable to execute query", "No collection found", "Collection cannot be uniquely identified");
}

Collection CollectionResolver::resolveUnique(const Scope &scope, const Session &session, const char *noneFound,
                                             const char *notUnique)
{
    SelectQueryBuilder<Collection> qb;
    addScopeCondition(scope, session, qb);
    return uniqueResult(qb, "Unable to execute collection query", noneFound, notUnique);
}

bool CollectionResolver::findByRemoteId(const QString &remoteId, qint64 resourceId, QList<Collection> &collections)
{
    SelectQueryBuilder<Collection> qb;
    qb.addValueCondition(Collection::remoteIdColumn(), Query::Equals, remoteId);
    qb.addValueCondition(Collection::resourceIdColumn(), Query::Equals, resourceId);
    if (!qb.exec())
        return false;
    collections = qb.result();
    return true;
}

Collection CollectionResolver::uniqueResult(SelectQueryBuilder<Collection> &qb, const char *queryFailed,
                                            const char *noneFound, const char *notUnique)
{
    if (!qb.exec())
        throw HandlerException(queryFailed);
    const QList<Collection> results = qb.result();
    if (results.isEmpty())
        throw HandlerException(noneFound);
    if (results.size() > 1)
        throw HandlerException(notUnique);
    return results.first();
}

bool CollectionResolver::isNameUnique(const Collection &collection, const QString &name, qint64 parentId)
{
    SelectQueryBuilder<Collection> qb;
    addParentCondition(qb, parentId);
    qb.addValueCondition(Collection::nameColumn(), Query::Equals, name);
    if (!qb.exec())
        return false;
    const QList<Collection> results = qb.result();
    return results.isEmpty() || results.first().id() == collection.id();
}

Collection CollectionResolver::findCollection(const QByteArray &idOrPath)
{
    bool isNumber = false;
    const qint64 id = idOrPath.toLongLong(&isNumber);
    if (isNumber)
        return Collection::retrieveById(id);

    QByteArray path = idOrPath;
    if (path.startsWith('/'))
        path.remove(0, 1);
    if (path.endsWith('/'))
        path.chop(1);
    const QStringList names = QString::fromUtf8(path).split(QLatin1Char('/'));

    Collection current;
    for (const QString &name : names) {
        SelectQueryBuilder<Collection> qb;
        addParentCondition(qb, current.isValid() ? current.id() : 0);
        qb.addValueCondition(Collection::nameColumn(), Query::Equals, name);
        if (!qb.exec())
            return Collection();
        const QList<Collection> results = qb.result();
        if (results.size() != 1)
            return Collection();
        current = results.first();
    }
    return current;
}

QString CollectionResolver::collectionPath(const Collection &collection)
{
    QStringList names;
    Collection current = collection;
    while (current.isValid()) {
        names.prepend(current.name());
        current = current.parent();
    }
    return names.join(QLatin1Char('/'));
}

#ifndef TALVORI_ITEMQUERYHELPER_H
#define TALVORI_ITEMQUERYHELPER_H

#include <QStringList>

#include <QtGlobal>

class ImapSet;
class QueryBuilder;

namespace Talvori {
class Collection;
class Resource;
}

// Conditions that select items, shared by every item command.
namespace ItemQueryHelper {

// The ids of the set; within a valid collection only its items (for a search collection, the
// items linked to it).
void itemSetToQuery(const ImapSet &set, QueryBuilder &qb, const Talvori::Collection &collection);

// Items by remote identifier, within the session's resource context when it is valid, else within
// the selected collection when its id is above 0. The storage layer does not know the connection,
// so the caller passes those two parts of its session.
void remoteIdToQuery(const QStringList &rids, const Talvori::Resource &resourceContext,
                     qint64 selectedCollectionId, QueryBuilder &qb);

} // namespace ItemQueryHelper

#endif

#include "treesynchronizer.h"

#include "agentlog.h"
#include "storesession.h"

#include <QSet>

TreeSynchronizer::TreeSynchronizer(StoreSession &session)
    : m_session(session)
{
}

QString TreeSynchronizer::errorString() const
{
    return m_session.errorString();
}

bool TreeSynchronizer::run(const QString &resource, const QList<MaildirFolder> &folders)
{
    m_collections.clear();
    QList<ListingLine> existing;
    if (!m_session.listCollections(resource, &existing))
        return false;
    QHash<QString, ListingLine> byRemoteId;
    QList<ListingLine> gone;
    for (const ListingLine &line : std::as_const(existing)) {
        if (byRemoteId.contains(line.remoteId))
            gone.append(line);
        else
            byRemoteId.insert(line.remoteId, line);
    }

    QHash<QString, qint64> ids;
    for (const MaildirFolder &folder : folders) {
        const qint64 parentId = folder.isRoot() ? 0 : ids.value(folder.parentRemoteId(), 0);
        qint64 id = -1;
        const auto found = byRemoteId.constFind(folder.remoteId());
        if (found != byRemoteId.constEnd()) {
            id = found->id;
            if (found->parentId != parentId && !m_session.moveCollection(id, parentId))
                return false;
            if (found->name != folder.name() && !m_session.renameCollection(id, folder.name()))
                return false;
            byRemoteId.erase(found);
        } else {
            id = m_session.createCollection(folder.name(), parentId, folder.remoteId());
            if (id < 0)
                return false;
            AgentLog::message(QStringLiteral("%1: new folder").arg(folder.path()));
        }
        ids.insert(folder.remoteId(), id);
        m_collections.insert(id, folder);
    }
    gone += byRemoteId.values();
    return deleteGone(gone);
}

bool TreeSynchronizer::deleteGone(const QList<ListingLine> &gone)
{
    QSet<qint64> goneIds;
    for (const ListingLine &line : gone)
        goneIds.insert(line.id);
    for (const ListingLine &line : gone) {
        // Deleting a collection takes its children along.
        if (goneIds.contains(line.parentId))
            continue;
        if (!m_session.deleteCollection(line.id))
            return false;
        AgentLog::message(QStringLiteral("%1: folder gone, collection %2 deleted").arg(line.remoteId).arg(line.id));
    }
    return true;
}

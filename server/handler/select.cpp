#include "select.h"

#include "handlersupport.h"

#include "common/exception.h"
#include "protocol/imapstreamparser.h"
#include "storage/collectionresolver.h"
#include "storage/collectionstatistics.h"
#include "storage/session.h"

using namespace Talvori;

Select::Select(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Select::parseStream()
{
    m_connection->setSelectedCollection(0);

    bool silent = false;
    QByteArray argument = m_streamParser->readString();
    if (argument == "SILENT") {
        silent = true;
        argument = m_streamParser->readString();
    }

    Collection collection;
    if (m_scope == Scope::Plain || m_scope == Scope::ById) {
        collection = CollectionResolver::findCollection(argument);
        if (!collection.isValid()) {
            if (argument != "0")
                return failureResponse("Cannot select this collection");
            silent = true;
        }
    } else if (m_scope == Scope::ByRemoteId) {
        const QString remoteId = QString::fromUtf8(argument);
        if (remoteId.isEmpty()) {
            silent = true;
        } else {
            if (!m_connection->resourceContext().isValid())
                throw HandlerException("Cannot select based on remote identifier without a resource scope");
            QList<Collection> results;
            if (!CollectionResolver::findByRemoteId(remoteId, m_connection->resourceContext().id(), results))
                throw HandlerException("Failed to select collection");
            if (results.size() != 1)
                throw HandlerException(QByteArray::number(results.size()) + " collections found");
            collection = results.first();
        }
    } else {
        // A hierarchical remote identifier cannot name a collection to select: refuse it rather
        // than carry on with counts of no collection.
        throw HandlerException("Cannot select based on hierarchical remote identifier");
    }

    if (!silent) {
        QList<QByteArray> flagNames;
        const QList<Flag> flags = Flag::retrieveAll();
        for (const Flag &flag : flags)
            flagNames.append(flag.name().toUtf8());
        Q_EMIT responseAvailable(HandlerSupport::untagged(flagNames.join(' ')));

        const int count = CollectionStatistics::countItems(collection);
        if (count < 0)
            return failureResponse("Unable to determine item count");
        Q_EMIT responseAvailable(HandlerSupport::untagged(QByteArray::number(count) + " EXISTS"));

        const int recent = CollectionStatistics::countItemsWithFlag(collection, QStringLiteral("\\Recent"));
        if (recent < 0)
            return failureResponse("Unable to determine recent count");
        Q_EMIT responseAvailable(HandlerSupport::untagged(QByteArray::number(recent) + " RECENT"));

        const int unseen = CollectionStatistics::countItemsWithoutFlag(collection, QStringLiteral("\\SEEN"));
        if (unseen < 0)
            return failureResponse("Unable to retrieve unseen count");
        Q_EMIT responseAvailable(HandlerSupport::untagged("OK [UNSEEN " + QByteArray::number(unseen)
                                                          + "] Message 0 is first unseen"));
        Q_EMIT responseAvailable(HandlerSupport::untagged("OK [UIDVALIDITY 1] UIDs valid"));
    }

    successResponse("Completed");
    m_connection->setSelectedCollection(collection.id());
    return true;
}

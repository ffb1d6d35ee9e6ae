#include "list.h"

#include "handlersupport.h"

#include "common/exception.h"
#include "protocol/imapstreamparser.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/selectquerybuilder.h"
#include "storage/session.h"

using namespace Talvori;

List::List(Scope::SelectionScope scope, bool onlySubscribed)
    : m_scope(scope)
    , m_onlySubscribed(onlySubscribed)
{
}

void List::readFilters()
{
    m_streamParser->beginList();
    while (!m_streamParser->atListEnd()) {
        const QByteArray key = m_streamParser->readString();
        if (key == "RESOURCE") {
            const QString name = m_streamParser->readUtf8String();
            m_resource = Resource::retrieveByName(name);
            if (!m_resource.isValid())
                throw HandlerException("Unknown resource");
        } else if (key == "MIMETYPE") {
            const QList<QByteArray> names = m_streamParser->readParenthesizedList();
            for (const QByteArray &name : names) {
                MimeType mimeType = MimeType::retrieveByName(QString::fromLatin1(name));
                if (!mimeType.isValid()) {
                    // Filtering by a type nobody has seen yet registers it, as any other use would.
                    mimeType = MimeType(QString::fromLatin1(name));
                    if (!mimeType.insert())
                        throw HandlerException("Failed to create mimetype record");
                }
                m_mimeTypes.append(mimeType.id());
            }
        }
    }
}

void List::readOptions()
{
    m_streamParser->beginList();
    while (!m_streamParser->atListEnd()) {
        const QByteArray key = m_streamParser->readString();
        if (key == "STATISTICS")
            m_includeStatistics = m_streamParser->readString() == "true";
        else if (key == "ANCESTORS")
            m_ancestorDepth = HandlerSupport::depthFromText(m_streamParser->readString());
    }
}

bool List::parseStream()
{
    qint64 baseId = -1;
    QString remoteId;
    switch (m_scope.selection()) {
    case Scope::Plain:
    case Scope::ById: {
        bool ok = false;
        baseId = m_streamParser->readNumber(&ok);
        if (!ok)
            return failureResponse("Invalid base collection");
        break;
    }
    case Scope::ByRemoteId:
        remoteId = m_streamParser->readUtf8String();
        if (remoteId.isEmpty())
            throw HandlerException("No remote identifier specified");
        break;
    case Scope::ByRemotePath:
        m_scope.readFromStream(m_streamParser);
        break;
    default:
        throw HandlerException("WTF");
    }

    int depth = HandlerSupport::depthFromText(m_streamParser->readString());
    readFilters();
    if (m_streamParser->hasList())
        readOptions();

    QList<Collection> collections;
    QStack<Collection> ancestors;
    if (baseId != 0) {
        Collection base;
        if (m_scope.selection() == Scope::ByRemoteId) {
            const Resource resource = m_resource.isValid() ? m_resource : m_connection->resourceContext();
            if (!resource.isValid())
                throw HandlerException(
                    "Cannot retrieve collection based on remote identifier without a resource context");
            QList<Collection> results;
            if (!CollectionResolver::findByRemoteId(remoteId, resource.id(), results))
                throw HandlerException("Unable to retrieve collection for listing");
            if (results.size() != 1)
                throw HandlerException(QByteArray::number(results.size()) + " collections found");
            base = results.first();
        } else if (m_scope.selection() == Scope::ByRemotePath) {
            if (!m_connection->resourceContext().isValid())
                throw HandlerException(
                    "Cannot retrieve collection based on hierarchical remote identifier without a resource context");
            base = CollectionResolver::resolveRidChain(m_scope.remoteIdChain(), m_connection->resourceContext().id());
        } else {
            base = m_tree.collection(baseId);
        }
        if (!base.isValid())
            return failureResponse(QStringLiteral("Collection %1 does not exist").arg(baseId));
        if (depth == 0) {
            collections.append(base);
            ancestors = m_tree.ancestors(base, m_ancestorDepth);
        } else {
            // Deeper listings walk a tree loaded in bulk; one level asks for just that level.
            if (depth > 1)
                loadTree();
            collections = m_tree.children(base.id());
            --depth;
            if (!collections.isEmpty())
                ancestors = m_tree.ancestors(collections.first(), m_ancestorDepth);
        }
    } else if (depth != 0) {
        if (depth > 1)
            loadTree();
        collections = m_tree.children(0);
        --depth;
    }

    for (const Collection &collection : std::as_const(collections))
        listCollection(collection, depth, ancestors);

    return successResponse("List completed");
}

void List::loadTree()
{
    if (!m_tree.load(m_includeStatistics))
        throw HandlerException("Unable to retrieve collection for listing");
}

bool List::listCollection(const Collection &collection, int depth, const QStack<Collection> &ancestors)
{
    bool childWritten = false;
    if (depth > 0) {
        QStack<Collection> childAncestors = ancestors;
        childAncestors.push(collection);
        const QList<Collection> children = m_tree.children(collection.id());
        for (const Collection &child : children) {
            if (listCollection(child, depth - 1, childAncestors))
                childWritten = true;
        }
    }

    bool filteredOut = false;
    if (m_resource.isValid() && collection.resourceId() != m_resource.id())
        filteredOut = true;
    if (m_onlySubscribed && !collection.subscribed())
        filteredOut = true;
    if (!m_mimeTypes.isEmpty()) {
        bool matches = false;
        const QList<MimeType> mimeTypes = m_tree.mimeTypes(collection.id());
        for (const MimeType &mimeType : mimeTypes) {
            if (m_mimeTypes.contains(mimeType.id())) {
                matches = true;
                break;
            }
        }
        if (!matches)
            filteredOut = true;
    }
    if (filteredOut && !childWritten)
        return false;

    Collection effective = collection;
    m_tree.applyActiveCachePolicy(effective);
    Q_EMIT responseAvailable(HandlerSupport::untagged(
        HandlerSupport::collectionLine(m_tree, effective, filteredOut, m_includeStatistics, m_ancestorDepth, ancestors)));
    return true;
}

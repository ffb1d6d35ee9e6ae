#include "create.h"

#include "handlersupport.h"

#include "common/exception.h"
#include "protocol/imapstreamparser.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/session.h"
#include "storage/transaction.h"

#include <imapparser.h>

using namespace Talvori;

Create::Create(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Create::parseStream()
{
    QString name = m_streamParser->readUtf8String();
    if (name.isEmpty())
        return failureResponse("Invalid collection name");

    Collection parent;
    if (m_scope == Scope::Plain || m_scope == Scope::ById) {
        bool ok = false;
        const qint64 parentId = m_streamParser->readNumber(&ok);
        if (!ok) {
            // No parent number: the name may be a path whose last part is the new name.
            const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
            if (slash > 0) {
                parent = CollectionResolver::findCollection(name.left(slash).toUtf8());
                name = name.mid(slash + 1);
            }
        } else {
            if (parentId > 0)
                parent = Collection::retrieveById(parentId);
            if (parentId != 0 && !parent.isValid())
                return failureResponse("Parent collection not found");
        }
    } else if (m_scope == Scope::ByRemoteId) {
        const QString parentRemoteId = m_streamParser->readUtf8String();
        if (parentRemoteId.isEmpty())
            throw HandlerException("Empty parent remote identifier");
        if (!m_connection->resourceContext().isValid())
            throw HandlerException("Invalid resource context");
        QList<Collection> parents;
        if (!CollectionResolver::findByRemoteId(parentRemoteId, m_connection->resourceContext().id(), parents))
            throw HandlerException("Unable to execute collection query");
        if (parents.size() != 1)
            throw HandlerException(parents.isEmpty() ? "Parent collection not found" : "Parent collection is not unique");
        parent = parents.first();
    }

    qint64 resourceId = 0;
    if (parent.isValid()) {
        bool canContainCollections = false;
        const QList<MimeType> parentTypes = parent.mimeTypes();
        for (const MimeType &type : parentTypes) {
            if (type.name() == QLatin1String("inode/directory")) {
                canContainCollections = true;
                break;
            }
        }
        if (!canContainCollections)
            return failureResponse("Parent collection can not contain sub-collections");
        resourceId = parent.resourceId();
    } else {
        // Only a resource may create top-level collections: the session has to carry its name.
        const Resource resource = Resource::retrieveByName(QString::fromUtf8(m_connection->sessionId()));
        if (!resource.isValid())
            return failureResponse("Cannot create top-level collection");
        resourceId = resource.id();
    }

    Collection collection;
    if (parent.isValid())
        collection.setParentId(parent.id());
    collection.setName(name);
    collection.setResourceId(resourceId);

    QStringList mimeTypes;
    bool mimeTypesGiven = false;
    QList<QPair<QByteArray, QByteArray>> userDefinedAttributes;
    const QList<QByteArray> attributes = m_streamParser->readParenthesizedList();
    for (qsizetype i = 0; i + 1 < attributes.size(); i += 2) {
        const QByteArray &key = attributes.at(i);
        const QByteArray &value = attributes.at(i + 1);
        if (key == "REMOTEID") {
            collection.setRemoteId(QString::fromUtf8(value));
        } else if (key == "REMOTEREVISION") {
            collection.setRemoteRevision(QString::fromUtf8(value));
        } else if (key == "MIMETYPE") {
            QList<QByteArray> names;
            ImapParser::parseParenthesizedList(value, names);
            for (const QByteArray &typeName : std::as_const(names))
                mimeTypes.append(QString::fromUtf8(typeName));
            mimeTypesGiven = true;
        } else if (key == "CACHEPOLICY") {
            HandlerSupport::applyCachePolicy(value, collection);
        } else {
            userDefinedAttributes.append({key, value});
        }
    }

    DataStore *db = m_connection->storageBackend();
    Transaction transaction(db);
    if (!db->appendCollection(collection))
        return failureResponse("Could not create collection");

    if (!mimeTypesGiven && parent.isValid()) {
        const QList<MimeType> parentTypes = parent.mimeTypes();
        for (const MimeType &type : parentTypes)
            mimeTypes.append(type.name());
    }
    if (!db->appendMimeTypeForCollection(collection.id(), mimeTypes))
        return failureResponse("Unable to append mimetype for collection.");

    for (const auto &attribute : std::as_const(userDefinedAttributes)) {
        if (!db->addCollectionAttribute(collection, attribute.first, attribute.second))
            return failureResponse("Unable to add collection attribute.");
    }

    Collection effective = collection;
    DataStore::activeCachePolicy(effective);
    const QByteArray line = HandlerSupport::collectionLine(effective, false, false, 0, QStack<Collection>());

    // The line goes out only once the collection exists: a client must never learn of a
    // collection that a failed commit took back.
    if (!transaction.commit())
        return failureResponse("Unable to commit transaction.");
    Q_EMIT responseAvailable(HandlerSupport::untagged(line));
    return successResponse("CREATE completed");
}

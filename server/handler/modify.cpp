#include "modify.h"

#include "handlersupport.h"

#include "common/exception.h"
#include "protocol/imapstreamparser.h"
#include "search/searchmanager.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/notificationcollector.h"
#include "storage/session.h"
#include "storage/transaction.h"

#include <imapparser.h>

using namespace Talvori;

Modify::Modify(Scope::SelectionScope scope)
    : m_scope(scope)
{
}

bool Modify::parseStream()
{
    m_scope.readFromStream(m_streamParser);
    Collection collection = CollectionResolver::resolveUnique(m_scope, *m_connection, "No such collection",
                                                              "Mass-modifying collections is not yet implemented");

    // The rest of the line is parsed as a whole; the line end goes back so the connection still
    // finds the end of the command.
    const QByteArray line = m_streamParser->readUntilCommandEnd();
    m_streamParser->insertData("\n");

    // A collection that moves to another resource takes its payloads along: fetch them all from
    // the old resource before it loses the collection.
    const int parentKey = line.indexOf("PARENT ");
    if (parentKey > 0) {
        QByteArray newParentText;
        ImapParser::parseString(line, newParentText, parentKey + 6);
        HandlerSupport::retrieveBeforeResourceChange(m_connection, collection,
                                                     CollectionResolver::findCollection(newParentText));
    }

    DataStore *db = m_connection->storageBackend();
    Transaction transaction(db);
    QList<QByteArray> changes;
    int pos = 0;
    while (pos < line.size()) {
        QByteArray key;
        pos = ImapParser::parseString(line, key, pos);
        if (key.isEmpty())
            break;

        if (key == "MIMETYPE") {
            QList<QByteArray> names;
            pos = ImapParser::parseParenthesizedList(line, names, pos);
            QStringList wanted;
            for (const QByteArray &name : std::as_const(names))
                wanted.append(QString::fromLatin1(name));
            bool changed = false;
            const QList<MimeType> current = collection.mimeTypes();
            for (const MimeType &type : current) {
                if (wanted.contains(type.name())) {
                    wanted.removeAll(type.name());
                } else {
                    if (!collection.removeMimeType(type))
                        throw HandlerException("Unable to remove collection mimetype");
                    changed = true;
                }
            }
            if (!db->appendMimeTypeForCollection(collection.id(), wanted))
                return failureResponse("Unable to add collection mimetypes");
            if (changed || !wanted.isEmpty())
                changes.append("MIMETYPE");
        } else if (key == "CACHEPOLICY") {
            bool changed = false;
            pos = HandlerSupport::applyCachePolicy(line, collection, pos, &changed);
            if (changed)
                changes.append("CACHEPOLICY");
        } else if (key == "NAME") {
            QString name;
            pos = ImapParser::parseString(line, name, pos);
            if (name == collection.name())
                continue;
            if (!CollectionResolver::isNameUnique(collection, name, collection.parentId()))
                throw HandlerException("Collection with the same name exists already");
            collection.setName(name);
            changes.append("NAME");
        } else if (key == "PARENT") {
            qint64 parentId = 0;
            bool ok = false;
            pos = ImapParser::parseNumber(line, parentId, &ok, pos);
            if (!ok)
                return failureResponse("Invalid syntax");
            if (parentId == collection.parentId())
                continue;
            Collection newParent;
            if (parentId == 0)
                newParent.setId(0);
            else
                newParent = Collection::retrieveById(parentId);
            if (!db->moveCollection(collection, newParent))
                return failureResponse("Unable to reparent collection");
            changes.append("PARENT");
        } else if (key == "REMOTEID") {
            QString remoteId;
            pos = ImapParser::parseString(line, remoteId, pos);
            if (remoteId == collection.remoteId())
                continue;
            if (!m_connection->isOwnerResource(collection))
                throw HandlerException("Only resources can modify remote identifiers");
            collection.setRemoteId(remoteId);
            changes.append("REMOTEID");
        } else if (key == "REMOTEREVISION") {
            QString remoteRevision;
            pos = ImapParser::parseString(line, remoteRevision, pos);
            if (remoteRevision == collection.remoteRevision())
                continue;
            collection.setRemoteRevision(remoteRevision);
            changes.append("REMOTEREVISION");
        } else if (key == "PERSISTENTSEARCH") {
            QByteArray searchText;
            pos = ImapParser::parseString(line, searchText, pos);
            QList<QByteArray> pairs;
            ImapParser::parseParenthesizedList(searchText, pairs);
            QString queryLanguage;
            QString queryString;
            for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
                if (pairs.at(i) == "QUERYLANGUAGE")
                    queryLanguage = QString::fromLatin1(pairs.at(i + 1));
                else if (pairs.at(i) == "QUERYSTRING")
                    queryString = QString::fromUtf8(pairs.at(i + 1));
            }
            if (queryLanguage != collection.queryLanguage() || queryString != collection.queryString()) {
                QString error;
                if (!SearchManager::checkQuery(queryLanguage, queryString, &error))
                    return failureResponse(error);
                collection.setQueryLanguage(queryLanguage);
                collection.setQueryString(queryString);
                SearchManager::updateSearch(collection, db);
                changes.append("PERSISTENTSEARCH");
            }
        } else if (key.startsWith('-')) {
            const QByteArray type = key.mid(1);
            if (!db->removeCollectionAttribute(collection, type))
                throw HandlerException("Unable to remove custom collection attribute");
            changes.append(type);
        } else {
            QByteArray value;
            pos = ImapParser::parseString(line, value, pos);
            bool changed = false;
            if (!db->setCollectionAttribute(collection, key, value, &changed))
                throw HandlerException("Unable to update collection attribute");
            if (changed)
                changes.append(key);
        }
    }

    if (!changes.isEmpty()) {
        if (collection.hasPendingChanges() && !collection.update())
            return failureResponse("Unable to update collection");
        db->notificationCollector()->notifyCollectionChanged(collection, changes, QByteArray());
        if (!transaction.commit())
            return failureResponse("Unable to commit transaction");
    }
    return successResponse("MODIFY done");
}

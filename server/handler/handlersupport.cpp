#include "handlersupport.h"

#include "common/exception.h"
#include "storage/collectiontree.h"
#include "protocol/imapstreamparser.h"
#include "services/itemretriever.h"
#include "storage/datastore.h"
#include "storage/payloadwriter.h"

#include <imapparser.h>

#include <QLocale>

#include <limits>

using namespace Talvori;

namespace {

QByteArray boolText(bool value)
{
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

} // namespace

Response HandlerSupport::untagged(const QByteArray &text)
{
    Response response;
    response.setUntagged();
    response.setString(text);
    return response;
}

QByteArray HandlerSupport::collectionLine(const Collection &collection, bool hideMimeTypes, bool withStatistics,
                                          int ancestorDepth, const QStack<Collection> &ancestors)
{
    // An unloaded tree asks the database for exactly this one collection.
    return collectionLine(CollectionTree(), collection, hideMimeTypes, withStatistics, ancestorDepth, ancestors);
}

QByteArray HandlerSupport::collectionLine(const CollectionTree &tree, const Collection &collection,
                                          bool hideMimeTypes, bool withStatistics, int ancestorDepth,
                                          const QStack<Collection> &ancestors)
{
    QList<QByteArray> mimeTypeNames;
    if (!hideMimeTypes) {
        const QList<MimeType> types = tree.mimeTypes(collection.id());
        for (const MimeType &type : types)
            mimeTypeNames.append(type.name().toLatin1());
    }
    CollectionStatistics counts;
    if (withStatistics)
        counts = tree.statistics(collection);
    return formatCollectionLine(collection, mimeTypeNames, tree.resourceName(collection.resourceId()),
                                tree.attributes(collection.id()), withStatistics ? &counts : nullptr, ancestorDepth,
                                ancestors);
}

QByteArray HandlerSupport::formatCollectionLine(const Collection &collection, const QList<QByteArray> &mimeTypeNames,
                                                const QString &resourceName,
                                                const QList<CollectionAttribute> &attributes,
                                                const CollectionStatistics *statistics, int ancestorDepth,
                                                const QStack<Collection> &ancestors)
{
    QByteArray b = QByteArray::number(collection.id()) + ' ' + QByteArray::number(collection.parentId()) + " (";
    b += "NAME " + ImapParser::quote(collection.name().toUtf8()) + ' ';
    b += "MIMETYPE (" + mimeTypeNames.join(' ') + ") ";
    b += "REMOTEID " + ImapParser::quote(collection.remoteId().toUtf8());
    b += " REMOTEREVISION " + ImapParser::quote(collection.remoteRevision().toUtf8());
    b += " RESOURCE " + ImapParser::quote(resourceName.toUtf8()) + ' ';
    if (statistics) {
        b += "MESSAGES " + QByteArray::number(statistics->count) + ' ';
        b += "UNSEEN " + QByteArray::number(statistics->unseen) + ' ';
        b += "SIZE " + QByteArray::number(statistics->size) + ' ';
    }
    if (!collection.queryLanguage().isEmpty()) {
        // The query string is quoted inside the list, and the list as a whole once more.
        const QList<QByteArray> search = {"QUERYLANGUAGE", collection.queryLanguage().toLatin1(), "QUERYSTRING",
                                          ImapParser::quote(collection.queryString().toUtf8())};
        b += "PERSISTENTSEARCH " + ImapParser::quote('(' + search.join(' ') + ')') + ' ';
    }
    b += cachePolicyText(collection) + ' ';
    if (ancestorDepth > 0)
        b += ancestorsText(ancestorDepth, ancestors) + ' ';
    QList<QByteArray> attributeTexts;
    attributeTexts.reserve(attributes.size());
    for (const CollectionAttribute &attribute : attributes)
        attributeTexts.append(attribute.type() + ' ' + ImapParser::quote(attribute.value()));
    b += attributeTexts.join(' ');
    b += ')';
    return b;
}

QByteArray HandlerSupport::cachePolicyText(const Collection &collection)
{
    QByteArray b = "CACHEPOLICY (";
    b += "INHERIT " + boolText(collection.cachePolicyInherit());
    b += " INTERVAL " + QByteArray::number(collection.cachePolicyCheckInterval());
    b += " CACHETIMEOUT " + QByteArray::number(collection.cachePolicyCacheTimeout());
    b += " SYNCONDEMAND " + boolText(collection.cachePolicySyncOnDemand());
    b += " LOCALPARTS (" + collection.cachePolicyLocalParts().toLatin1() + ')';
    b += ')';
    return b;
}

QByteArray HandlerSupport::ancestorsText(int depth, const QStack<Collection> &ancestors)
{
    if (depth <= 0)
        return QByteArray();
    QList<QByteArray> entries;
    qsizetype next = ancestors.size() - 1;
    for (int i = 0; i < depth; ++i) {
        if (next < 0) {
            entries.append(QByteArrayLiteral("(0 \"\")"));
            break;
        }
        const Collection &ancestor = ancestors.at(next--);
        entries.append('(' + QByteArray::number(ancestor.id()) + " \"" + ancestor.remoteId().toUtf8() + "\")");
    }
    return "ANCESTORS (" + entries.join(' ') + ')';
}

int HandlerSupport::depthFromText(const QByteArray &text)
{
    if (text.isEmpty())
        throw ImapParserException("No depth specified");
    if (text == "INF")
        return std::numeric_limits<int>::max();
    bool ok = false;
    const int depth = text.toInt(&ok);
    if (!ok)
        throw ImapParserException("Invalid depth argument");
    return depth;
}

int HandlerSupport::applyCachePolicy(const QByteArray &data, Collection &collection, int start, bool *changed)
{
    QList<QByteArray> parts;
    const int end = ImapParser::parseParenthesizedList(data, parts, start);
    bool inheritChanged = false;
    bool valuesChanged = false;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QByteArray &key = parts.at(i);
        const QByteArray &value = parts.at(i + 1);
        if (key == "INHERIT") {
            const bool inherit = value == "true";
            inheritChanged = inherit != collection.cachePolicyInherit();
            collection.setCachePolicyInherit(inherit);
        } else if (key == "INTERVAL") {
            const int interval = value.toInt();
            valuesChanged |= interval != collection.cachePolicyCheckInterval();
            collection.setCachePolicyCheckInterval(interval);
        } else if (key == "CACHETIMEOUT") {
            const int timeout = value.toInt();
            valuesChanged |= timeout != collection.cachePolicyCacheTimeout();
            collection.setCachePolicyCacheTimeout(timeout);
        } else if (key == "SYNCONDEMAND") {
            const bool syncOnDemand = value == "true";
            valuesChanged |= syncOnDemand != collection.cachePolicySyncOnDemand();
            collection.setCachePolicySyncOnDemand(syncOnDemand);
        } else if (key == "LOCALPARTS") {
            QList<QByteArray> localParts;
            ImapParser::parseParenthesizedList(value, localParts);
            const QString text = QString::fromLatin1(localParts.join(' '));
            valuesChanged |= text != collection.cachePolicyLocalParts();
            collection.setCachePolicyLocalParts(text);
        }
    }
    if (changed && (inheritChanged || (valuesChanged && !collection.cachePolicyInherit())))
        *changed = true;
    return end;
}

QList<Flag> HandlerSupport::flagsForNames(const QList<QByteArray> &names)
{
    QList<Flag> flags;
    if (!DataStore::flagsForNames(names, flags))
        throw HandlerException("Unable to create flag");
    return flags;
}

QByteArray HandlerSupport::quotedDateTime(const QDateTime &dateTime)
{
    // The C locale keeps month names English whatever the server's locale is.
    const QString text = QLocale::c().toString(dateTime.toUTC(), QStringLiteral("dd-MMM-yyyy hh:mm:ss +0000"));
    return ImapParser::quote(text.toLatin1());
}

void HandlerSupport::readLiteral(ImapStreamParser &parser, PayloadWriter &payload)
{
    while (!parser.atLiteralEnd())
        payload.write(parser.readLiteralPart(ImapStreamParser::StreamingChunkSize));
}

void HandlerSupport::retrieveFullPayload(ItemRetriever &retriever)
{
    retriever.setRetrieveFullPayload(true);
    if (!retriever.exec()) {
        throw HandlerException(QStringLiteral("Unable to retrieve the payload of item %1: %2")
                                   .arg(retriever.failedItem())
                                   .arg(retriever.lastError()));
    }
}

void HandlerSupport::retrieveBeforeResourceChange(Session *session, const Collection &collection,
                                                  const Collection &newParent)
{
    // The top level (id 0) keeps the collection's resource.
    if (newParent.id() <= 0 || newParent.resourceId() == collection.resourceId())
        return;
    ItemRetriever retriever(session);
    retriever.setCollection(collection, true);
    retrieveFullPayload(retriever);
}

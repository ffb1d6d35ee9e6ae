#include "handlersupport.h"

#include "collectiontree.h"

#include "common/exception.h"
#include "common/log.h"
#include "storage/countquerybuilder.h"
#include "storage/selectquerybuilder.h"

#include <imapparser.h>

#include <QLocale>
#include <QSqlError>

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
    return CollectionTree().collectionLine(collection, hideMimeTypes, withStatistics, ancestorDepth, ancestors);
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
    flags.reserve(names.size());
    for (const QByteArray &name : names) {
        const QString flagName = QString::fromUtf8(name);
        Flag flag = Flag::retrieveByName(flagName);
        if (!flag.isValid()) {
            flag = Flag(flagName);
            if (!flag.insert())
                throw HandlerException("Unable to create flag");
        }
        flags.append(flag);
    }
    return flags;
}

Collection HandlerSupport::findCollection(const QByteArray &idOrPath)
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
        qb.addValueCondition(Collection::nameColumn(), Query::Equals, name);
        if (current.isValid())
            qb.addValueCondition(Collection::parentIdColumn(), Query::Equals, current.id());
        else
            qb.addValueCondition(Collection::parentIdColumn(), Query::Is, QVariant());
        if (!qb.exec())
            return Collection();
        const QList<Collection> results = qb.result();
        if (results.size() != 1)
            return Collection();
        current = results.first();
    }
    return current;
}

QString HandlerSupport::collectionPath(const Collection &collection)
{
    QStringList names;
    Collection current = collection;
    while (current.isValid()) {
        names.prepend(current.name());
        current = current.parent();
    }
    return names.join(QLatin1Char('/'));
}

int HandlerSupport::countItems(const Collection &collection)
{
    CountQueryBuilder qb(PimItem::tableName());
    qb.addValueCondition(PimItem::collectionIdColumn(), Query::Equals, collection.id());
    if (!qb.exec())
        return -1;
    return qb.result();
}

int HandlerSupport::countItemsWithFlag(const Collection &collection, const QString &flagName)
{
    CountQueryBuilder qb(PimItem::tableName());
    qb.addJoin(QueryBuilder::InnerJoin, PimItemFlagRelation::tableName(), PimItem::idFullColumnName(),
               PimItemFlagRelation::leftFullColumnName());
    qb.addJoin(QueryBuilder::InnerJoin, Flag::tableName(), Flag::idFullColumnName(),
               PimItemFlagRelation::rightFullColumnName());
    qb.addValueCondition(PimItem::collectionIdFullColumnName(), Query::Equals, collection.id());
    qb.addValueCondition(Flag::nameFullColumnName(), Query::Equals, flagName);
    if (!qb.exec())
        return -1;
    return qb.result();
}

int HandlerSupport::countItemsWithoutFlag(const Collection &collection, const QString &flagName)
{
    const int all = countItems(collection);
    const int withFlag = countItemsWithFlag(collection, flagName);
    if (all < 0 || withFlag < 0)
        return -1;
    return all - withFlag;
}

qint64 HandlerSupport::totalItemSize(const Collection &collection)
{
    QueryBuilder qb(PimItem::tableName());
    qb.addColumn(QStringLiteral("sum(%1)").arg(PimItem::sizeFullColumnName()));
    qb.addValueCondition(PimItem::collectionIdFullColumnName(), Query::Equals, collection.id());
    if (!qb.exec())
        return -1;
    if (!qb.query().next()) {
        logDebug() << "Error during retrieving result of query:" << qb.query().lastError().text();
        return -1;
    }
    return qb.query().value(0).toLongLong();
}

QByteArray HandlerSupport::quotedDateTime(const QDateTime &dateTime)
{
    // The C locale keeps month names English whatever the server's locale is.
    const QString text = QLocale::c().toString(dateTime.toUTC(), QStringLiteral("dd-MMM-yyyy hh:mm:ss +0000"));
    return ImapParser::quote(text.toLatin1());
}

#ifndef TALVORI_HANDLERSUPPORT_H
#define TALVORI_HANDLERSUPPORT_H

#include "protocol/response.h"
#include "storage/entities.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QStack>
#include <QString>

// What several handlers do alike: the collection listing line, cache policy syntax, collection
// lookup by id or path, and item counts. Everything runs on the caller's thread and data store.
namespace HandlerSupport {

// An untagged response line carrying text.
Response untagged(const QByteArray &text);

// Item counts shown in a listing line; -1 where a count failed.
struct CollectionStatistics {
    qint64 count = -1;
    qint64 unseen = -1;
    qint64 size = -1;
};

// The listing line of a collection (without the leading "* "). Ancestors are read from the top
// of the stack, the parent first.
QByteArray collectionLine(const Talvori::Collection &collection, bool hideMimeTypes, bool withStatistics,
                          int ancestorDepth, const QStack<Talvori::Collection> &ancestors);
// The same line from data the caller already holds, so a listing of many collections can load
// content types, resources, attributes and counts in bulk. statistics is null without counts.
QByteArray formatCollectionLine(const Talvori::Collection &collection, const QList<QByteArray> &mimeTypeNames,
                                const QString &resourceName, const QList<Talvori::CollectionAttribute> &attributes,
                                const CollectionStatistics *statistics, int ancestorDepth,
                                const QStack<Talvori::Collection> &ancestors);

// An item date-time as the protocol shows it: "dd-MMM-yyyy hh:mm:ss +0000" in UTC with English
// month names, quoted.
QByteArray quotedDateTime(const QDateTime &dateTime);

QByteArray cachePolicyText(const Talvori::Collection &collection);
// Empty for a depth of 0 or less.
QByteArray ancestorsText(int depth, const QStack<Talvori::Collection> &ancestors);

// A number or "INF"; throws ImapParserException for anything else.
int depthFromText(const QByteArray &text);

// Reads the cache policy list at start into the collection's fields and returns the index after
// it. *changed becomes true when the collection's effective policy changed.
int applyCachePolicy(const QByteArray &data, Talvori::Collection &collection, int start = 0,
                     bool *changed = nullptr);

// Flags in the order of the names; missing ones are created.
QList<Talvori::Flag> flagsForNames(const QList<QByteArray> &names);

// By decimal id, or by a slash-separated path of names from the top level; invalid when not found.
Talvori::Collection findCollection(const QByteArray &idOrPath);
QString collectionPath(const Talvori::Collection &collection);

// -1 on error.
int countItems(const Talvori::Collection &collection);
int countItemsWithFlag(const Talvori::Collection &collection, const QString &flagName);
int countItemsWithoutFlag(const Talvori::Collection &collection, const QString &flagName);
qint64 totalItemSize(const Talvori::Collection &collection);

} // namespace HandlerSupport

#endif

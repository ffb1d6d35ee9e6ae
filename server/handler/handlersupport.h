#ifndef TALVORI_HANDLERSUPPORT_H
#define TALVORI_HANDLERSUPPORT_H

#include "protocol/response.h"
#include "storage/collectionstatistics.h"
#include "storage/entities.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QStack>
#include <QString>

class CollectionTree;
class ImapStreamParser;
class ItemRetriever;
class PayloadWriter;
class Session;

// What several handlers do alike on the wire: the collection listing line, dates, cache policy
// and depth syntax, and the flags a command names. Everything runs on the caller's thread and data
// store; the queries behind it live in storage.
namespace HandlerSupport {

// An untagged response line carrying text.
Response untagged(const QByteArray &text);

// The listing line of a collection (without the leading "* "), with content types hidden on
// request. Ancestors are read from the top of the stack, the parent first. The tree answers the
// questions about the collection; the first form asks the database for just this one.
QByteArray collectionLine(const Talvori::Collection &collection, bool hideMimeTypes, bool withStatistics,
                          int ancestorDepth, const QStack<Talvori::Collection> &ancestors);
QByteArray collectionLine(const CollectionTree &tree, const Talvori::Collection &collection, bool hideMimeTypes,
                          bool withStatistics, int ancestorDepth, const QStack<Talvori::Collection> &ancestors);
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

// Flags in the order of the names; missing ones are created. Throws HandlerException when one
// cannot be.
QList<Talvori::Flag> flagsForNames(const QList<QByteArray> &names);

// Brings the whole payload of the retriever's items into the database, for a command that copies
// them or moves them to another resource: the copy has no remote identifier to fetch it by, and
// the old resource no longer knows a moved item, so what is missing now would be lost for good.
// Throws HandlerException naming the first item whose payload could not be had.
void retrieveFullPayload(ItemRetriever &retriever);
// The same for the subtree of a collection about to move below newParent, when that takes it to
// another resource.
void retrieveBeforeResourceChange(Session *session, const Talvori::Collection &collection,
                                  const Talvori::Collection &newParent);

// Reads the literal whose header the parser has just read into payload. A write that fails does
// not stop the reading, so the command's bytes are consumed whatever happens; the caller checks
// payload.failed() afterwards.
void readLiteral(ImapStreamParser &parser, PayloadWriter &payload);

} // namespace HandlerSupport

#endif

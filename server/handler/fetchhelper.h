#ifndef TALVORI_FETCHHELPER_H
#define TALVORI_FETCHHELPER_H

#include "protocol/response.h"
#include "protocol/scope.h"
#include "storage/entities.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStack>
#include <QStringList>

class Handler;
class ImapStreamParser;
class QSqlQuery;
class QueryBuilder;
class Session;

// Reads the options and the attribute list of an item fetch and writes one untagged line per item
// of the scope, in ascending id order. Three queries (items, parts, flags), all ordered by item
// id, serve any number of items: they are walked in step, so no query runs per item. FETCH and
// SEARCH use it with their own response word; the lines go out through the handler, which works
// in the handler's session with its parser.
class FetchHelper
{
public:
    FetchHelper(Handler &handler, const Scope &scope);

    // Reads the rest of the command and sends the item lines, each as "<id> <responseWord> (...)".
    // False after the handler answered with a failure; a malformed command throws.
    bool parseStream(const QByteArray &responseWord);

private:
    void parseCommandStream();
    // Whether the parser stands at the command's line end, which it leaves unread.
    bool atLineEnd() const;
    void examineRequestedAttributes();
    void triggerOnDemandSync();
    // The scope in pieces that each fit into one statement.
    QList<Scope> scopePieces() const;
    void retrieveMissingPayload();
    // Sends the lines of the items of m_scope and adds their ids to ids; false after a failure
    // response.
    bool sendItems(const QByteArray &responseWord, QList<qint64> &ids);
    bool executeItemQuery(QueryBuilder &qb);
    bool executePartQuery(QueryBuilder &qb);
    bool executeFlagQuery(QueryBuilder &qb);
    // Appends the parts of item id to line, consuming the part rows up to it.
    void appendParts(QByteArray &line, qint64 id, QSqlQuery &parts, bool &partsLeft);
    // The collection first, then its parent and so on, up to the depth.
    const QStack<Talvori::Collection> &ancestorsOf(qint64 collectionId);
    void updateItemAccessTime(const QList<qint64> &ids);

    Handler &m_handler;
    Session *m_connection;
    ImapStreamParser *m_streamParser;
    // The command's scope, and while the lines go out the piece of it being served.
    Scope m_scope;

    QList<QByteArray> m_requestedAttributes;
    QStringList m_partNames;
    QStringList m_payloadNames;
    int m_ancestorDepth = 0;
    bool m_cacheOnly = false;
    bool m_fullPayload = false;
    bool m_allAttributes = false;
    bool m_sizeRequested = false;
    bool m_dateTimeRequested = false;
    bool m_externalPayloadSupported = false;
    bool m_remoteRevisionRequested = false;
    bool m_flagsRequested = false;

    // Filled on first use within the command.
    QHash<qint64, QStack<Talvori::Collection>> m_ancestorCache;
};

#endif

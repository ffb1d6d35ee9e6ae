#include "storesession.h"

#include <imapparser.h>
#include <imapset.h>

#include <QLocale>

#include <algorithm>

namespace {

// The attributes of one "* n FETCH (...)" line, keyed by name; FLAGS keeps its list.
struct FetchAttributes {
    qint64 uid = -1;
    qint64 collection = -1;
    QByteArray remoteId;
    QList<QByteArray> flags;
};

bool parseFetchLine(const QByteArray &line, FetchAttributes *attributes)
{
    const qsizetype open = line.indexOf(" FETCH (");
    if (!line.startsWith("* ") || open < 0)
        return false;
    int pos = int(open + 8);
    while (pos < line.size() && line.at(pos) != ')') {
        QByteArray key;
        const int next = ImapParser::parseString(line, key, pos);
        if (next == pos || key.isEmpty())
            return false;
        pos = next;
        if (key == "FLAGS") {
            pos = ImapParser::parseParenthesizedList(line, attributes->flags, pos);
            continue;
        }
        QByteArray value;
        pos = ImapParser::parseString(line, value, pos);
        if (key == "UID")
            attributes->uid = value.toLongLong();
        else if (key == "COLLECTIONID")
            attributes->collection = value.toLongLong();
        else if (key == "REMOTEID")
            attributes->remoteId = value;
        while (pos < line.size() && line.at(pos) == ' ')
            ++pos;
    }
    return attributes->uid > 0;
}

QByteArray quotedDateTime(const QDateTime &dateTime)
{
    return '"' + QLocale::c().toString(dateTime.toUTC(), QStringLiteral("dd-MMM-yyyy hh:mm:ss")).toLatin1() + " +0000\"";
}

} // namespace

QByteArray StoreSession::nextTag()
{
    return 'm' + QByteArray::number(++m_tag);
}

bool StoreSession::open(const QString &socketName, const QByteArray &identifier)
{
    if (!m_client.connectToServer(socketName)) {
        m_error = QStringLiteral("cannot connect to the server at %1: %2").arg(socketName, m_client.errorString());
        return false;
    }
    bool ok = false;
    const QByteArray greeting = m_client.readLine(&ok);
    if (!ok || !greeting.startsWith("* OK")) {
        m_error = QStringLiteral("no greeting from the server: %1").arg(QString::fromUtf8(greeting));
        return false;
    }
    return run("LOGIN " + identifier);
}

bool StoreSession::isConnected()
{
    return m_client.socket()->state() == QLocalSocket::ConnectedState;
}

bool StoreSession::check(const QByteArray &tag, const QByteArray &command, const QList<QByteArray> &answer)
{
    if (ProtocolClient::resultOf(answer, tag) == "OK")
        return true;
    m_error = QStringLiteral("%1: %2").arg(QString::fromUtf8(command.left(200)),
                                           answer.isEmpty() ? QStringLiteral("no answer")
                                                            : QString::fromUtf8(answer.last().left(500)));
    return false;
}

bool StoreSession::run(const QByteArray &command, QList<QByteArray> *answer)
{
    const QByteArray tag = nextTag();
    const QList<QByteArray> lines = m_client.command(tag, command);
    if (answer)
        *answer = lines;
    return check(tag, command, lines);
}

bool StoreSession::runLiteral(const QByteArray &prefix, const QByteArray &literal, const QByteArray &suffix,
                              QList<QByteArray> *answer)
{
    const QByteArray tag = nextTag();
    *answer = m_client.commandWithLiteral(tag, prefix, literal, suffix);
    return check(tag, prefix, *answer);
}

bool StoreSession::listCollections(const QString &resource, QList<ListingLine> *collections)
{
    QList<QByteArray> answer;
    if (!run("X-TVLIST 0 INF (RESOURCE " + ImapParser::quote(resource.toUtf8()) + ") ()", &answer))
        return false;
    collections->clear();
    for (const QByteArray &line : std::as_const(answer)) {
        ListingLine listing;
        if (listing.parse(line))
            collections->append(listing);
    }
    return true;
}

qint64 StoreSession::createCollection(const QString &name, qint64 parentId, const QString &remoteId)
{
    QList<QByteArray> answer;
    if (!run("CREATE " + ImapParser::quote(name.toUtf8()) + ' ' + QByteArray::number(parentId)
                 + " (MIMETYPE (message/rfc822 inode/directory) REMOTEID " + ImapParser::quote(remoteId.toUtf8()) + ')',
             &answer))
        return -1;
    for (const QByteArray &line : std::as_const(answer)) {
        ListingLine listing;
        if (listing.parse(line))
            return listing.id;
    }
    m_error = QStringLiteral("CREATE %1: no collection line in the answer").arg(name);
    return -1;
}

bool StoreSession::moveCollection(qint64 id, qint64 parentId)
{
    return run("MODIFY " + QByteArray::number(id) + " PARENT " + QByteArray::number(parentId));
}

bool StoreSession::renameCollection(qint64 id, const QString &name)
{
    return run("MODIFY " + QByteArray::number(id) + " NAME " + ImapParser::quote(name.toUtf8()));
}

bool StoreSession::deleteCollection(qint64 id)
{
    return run("DELETE " + QByteArray::number(id));
}

bool StoreSession::listItems(qint64 collection, QList<Item> *items)
{
    QList<QByteArray> answer;
    if (!run("SELECT SILENT " + QByteArray::number(collection)) || !run("FETCH 1:* CACHEONLY (FLAGS)", &answer))
        return false;
    items->clear();
    for (const QByteArray &line : std::as_const(answer)) {
        FetchAttributes attributes;
        if (parseFetchLine(line, &attributes))
            items->append({attributes.uid, attributes.remoteId, attributes.flags});
    }
    return run("SELECT SILENT 0");
}

qint64 StoreSession::collectionOf(qint64 uid)
{
    QList<QByteArray> answer;
    if (!run("UID FETCH " + QByteArray::number(uid) + " CACHEONLY", &answer))
        return -1;
    for (const QByteArray &line : std::as_const(answer)) {
        FetchAttributes attributes;
        if (parseFetchLine(line, &attributes) && attributes.uid == uid)
            return attributes.collection;
    }
    m_error = QStringLiteral("the server has no item %1").arg(uid);
    return -1;
}

bool StoreSession::isRemoteIdUsable(const QByteArray &remoteId)
{
    // What ends or escapes an atom in a flag list.
    for (const char c : remoteId) {
        if (c == ' ' || c == '(' || c == ')' || c == '"' || c == '\\' || c == '\r' || c == '\n')
            return false;
    }
    return !remoteId.isEmpty();
}

qint64 StoreSession::appendHeader(qint64 collection, const QByteArray &remoteId, const QList<QByteArray> &flags,
                                  const QDateTime &dateTime, qint64 size, const QByteArray &header)
{
    QList<QByteArray> flagList{"\\MimeType[message/rfc822]", "\\RemoteId[" + remoteId + ']'};
    flagList += flags;
    const QByteArray prefix = "X-TVAPPEND " + QByteArray::number(collection) + ' ' + QByteArray::number(size) + " ("
                              + flagList.join(' ') + ") " + quotedDateTime(dateTime) + " (PLD:HEAD :"
                              + QByteArray::number(header.size()) + ") ";
    QList<QByteArray> answer;
    if (!runLiteral(prefix, header, QByteArray(), &answer))
        return -1;
    for (const QByteArray &line : std::as_const(answer)) {
        const qsizetype at = line.indexOf("[UIDNEXT ");
        if (at >= 0)
            return line.mid(at + 9, line.indexOf(']', at) - at - 9).toLongLong();
    }
    m_error = QStringLiteral("X-TVAPPEND: no UIDNEXT in the answer");
    return -1;
}

bool StoreSession::storePart(qint64 uid, const QString &part, const QByteArray &data)
{
    QList<QByteArray> answer;
    return runLiteral("UID STORE " + QByteArray::number(uid) + " (PLD:" + part.toLatin1() + ' ', data, ")", &answer);
}

bool StoreSession::changeFlags(qint64 uid, const QList<QByteArray> &added, const QList<QByteArray> &removed)
{
    QByteArray changes;
    if (!added.isEmpty())
        changes += "+FLAGS.SILENT (" + added.join(' ') + ')';
    if (!removed.isEmpty())
        changes += (changes.isEmpty() ? "" : " ") + ("-FLAGS.SILENT (" + removed.join(' ') + ')');
    return changes.isEmpty() || run("UID STORE " + QByteArray::number(uid) + " (" + changes + ')');
}

bool StoreSession::removeItems(const QList<qint64> &uids)
{
    if (uids.isEmpty())
        return true;
    QList<qint64> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    ImapSet set;
    set.add(sorted);
    return run("UID REMOVE " + set.toImapSequenceSet());
}

bool StoreSession::beginTransaction()
{
    return run("BEGIN");
}

bool StoreSession::commitTransaction()
{
    return run("COMMIT");
}

bool StoreSession::rollbackTransaction()
{
    return run("ROLLBACK");
}

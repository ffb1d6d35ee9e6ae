#ifndef TALVORI_STORESESSION_H
#define TALVORI_STORESESSION_H

#include <listingline.h>
#include <protocolclient.h>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The resource's own connection to the server, logged in with the resource's identifier, and the
// commands it sends: the collection tree, the items of a collection, appending a message's header,
// storing parts and flags, removing items. Each command waits for its answer; a failure leaves
// the command and the answer in errorString().
class StoreSession
{
public:
    struct Item {
        qint64 uid = -1;
        QByteArray remoteId;
        QList<QByteArray> flags;
    };

    bool open(const QString &socketName, const QByteArray &identifier);
    bool isConnected();
    QLocalSocket *socket() { return m_client.socket(); }
    QString errorString() const { return m_error; }

    // Every collection of the resource.
    bool listCollections(const QString &resource, QList<ListingLine> *collections);
    // The new collection's id, or -1.
    qint64 createCollection(const QString &name, qint64 parentId, const QString &remoteId);
    bool moveCollection(qint64 id, qint64 parentId);
    bool renameCollection(qint64 id, const QString &name);
    bool deleteCollection(qint64 id);

    // The items of a collection, from the database only.
    bool listItems(qint64 collection, QList<Item> *items);
    // The collection an item is in, or -1.
    qint64 collectionOf(qint64 uid);
    // Whether a remote identifier can travel inside the flag token that appending sends it in.
    static bool isRemoteIdUsable(const QByteArray &remoteId);
    // A message whose header alone is cached ("PLD:HEAD") and whose size is the whole file's; the
    // new item's id, or -1.
    qint64 appendHeader(qint64 collection, const QByteArray &remoteId, const QList<QByteArray> &flags,
                        const QDateTime &dateTime, qint64 size, const QByteArray &header);
    // Stores one payload part ("RFC822", "HEAD") of an item.
    bool storePart(qint64 uid, const QString &part, const QByteArray &data);
    bool changeFlags(qint64 uid, const QList<QByteArray> &added, const QList<QByteArray> &removed);
    bool removeItems(const QList<qint64> &uids);

    bool beginTransaction();
    bool commitTransaction();
    bool rollbackTransaction();

private:
    // Sends the command and reads its answer; false (with errorString()) unless it is OK.
    bool run(const QByteArray &command, QList<QByteArray> *answer = nullptr);
    bool runLiteral(const QByteArray &prefix, const QByteArray &literal, const QByteArray &suffix,
                    QList<QByteArray> *answer);
    bool check(const QByteArray &tag, const QByteArray &command, const QList<QByteArray> &answer);
    QByteArray nextTag();

    ProtocolClient m_client;
    int m_tag = 0;
    QString m_error;
};

#endif

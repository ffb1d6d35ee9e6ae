#ifndef TALVORI_NOTIFICATIONCOLLECTOR_H
#define TALVORI_NOTIFICATIONCOLLECTOR_H

#include "storage/entities.h"

#include <notificationmessage.h>
#include <pendingnotifications.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

class DataStore;

// Turns the changes one connection makes into notification records. While its data store is inside
// a transaction the records wait here, merged as they come; the outermost commit hands them on
// through notify(), a rollback drops them. The notification manager connects to notify().
class NotificationCollector : public QObject
{
    Q_OBJECT
public:
    // Follows the data store's transactions.
    explicit NotificationCollector(DataStore *db);
    // Without a data store every record waits until emitPending().
    explicit NotificationCollector(QObject *parent = nullptr);

    void setSessionId(const QByteArray &sessionId) { m_sessionId = sessionId; }
    QByteArray sessionId() const { return m_sessionId; }

    // An invalid collection or an empty MIME type or resource name means "the item's own".
    void notifyItemAdded(const Talvori::PimItem &item, const Talvori::Collection &collection = Talvori::Collection(),
                         const QString &mimeType = QString(), const QByteArray &resource = QByteArray());
    void notifyItemChanged(const Talvori::PimItem &item, const QSet<QByteArray> &changedParts,
                           const Talvori::Collection &collection = Talvori::Collection(),
                           const QString &mimeType = QString(), const QByteArray &resource = QByteArray());
    // The same change of many items, recorded as notifyItemChanged() records it for each in turn.
    void notifyItemsChanged(const QList<Talvori::PimItem> &items, const QSet<QByteArray> &changedParts,
                            const Talvori::Collection &collection = Talvori::Collection());
    void notifyItemMoved(const Talvori::PimItem &item, const Talvori::Collection &from, const Talvori::Collection &to,
                         const QString &mimeType = QString(), const QByteArray &resource = QByteArray());
    void notifyItemRemoved(const Talvori::PimItem &item, const Talvori::Collection &collection = Talvori::Collection(),
                           const QString &mimeType = QString(), const QByteArray &resource = QByteArray());
    void notifyItemLinked(const Talvori::PimItem &item, const Talvori::Collection &collection);
    void notifyItemUnlinked(const Talvori::PimItem &item, const Talvori::Collection &collection);

    void notifyCollectionAdded(const Talvori::Collection &collection, const QByteArray &resource = QByteArray());
    void notifyCollectionChanged(const Talvori::Collection &collection, const QList<QByteArray> &changes,
                                 const QByteArray &resource = QByteArray());
    void notifyCollectionMoved(const Talvori::Collection &collection, const Talvori::Collection &source,
                               const QByteArray &resource = QByteArray());
    void notifyCollectionRemoved(const Talvori::Collection &collection, const QByteArray &resource = QByteArray());
    void notifyCollectionSubscribed(const Talvori::Collection &collection, const QByteArray &resource = QByteArray());
    void notifyCollectionUnsubscribed(const Talvori::Collection &collection,
                                      const QByteArray &resource = QByteArray());

    // Hands on every waiting record at once and forgets them.
    void emitPending();
    NotificationMessage::List pending() const { return m_pending.list(); }

Q_SIGNALS:
    void notify(const NotificationMessage::List &msgs);

private Q_SLOTS:
    void transactionCommitted();
    void transactionRolledBack();

private:
    void itemNotification(NotificationMessage::Operation op, const Talvori::PimItem &item,
                          const Talvori::Collection &collection, const Talvori::Collection &collectionDest,
                          const QString &mimeType, const QByteArray &resource, const QSet<QByteArray> &parts);
    // The record of an item change whose parent, MIME type and resource are known.
    NotificationMessage itemMessage(NotificationMessage::Operation op, const Talvori::PimItem &item, qint64 parent,
                                    qint64 parentDest, const QString &mimeType, const QByteArray &resource,
                                    const QSet<QByteArray> &parts) const;
    void collectionNotification(NotificationMessage::Operation op, const Talvori::Collection &collection,
                                qint64 source, qint64 destination, const QByteArray &resource,
                                const QSet<QByteArray> &parts = QSet<QByteArray>());
    void dispatchNotification(const NotificationMessage &msg);

    DataStore *m_db = nullptr;
    QByteArray m_sessionId;
    PendingNotifications m_pending;
};

#endif

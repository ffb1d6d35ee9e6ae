#ifndef TALVORI_NOTIFICATIONMESSAGE_H
#define TALVORI_NOTIFICATIONMESSAGE_H

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QSet>
#include <QString>

class QDBusArgument;

// One change of one collection or item, as published on the bus.
class NotificationMessage
{
public:
    using List = QList<NotificationMessage>;

    enum Type { InvalidType = 0, Collection = 1, Item = 2 };
    enum Operation {
        InvalidOp = 0,
        Add = 1,
        Modify = 2,
        Move = 3,
        Remove = 4,
        Link = 5,
        Unlink = 6,
        Subscribe = 7,
        Unsubscribe = 8
    };

    QByteArray sessionId() const { return m_sessionId; }
    void setSessionId(const QByteArray &id) { m_sessionId = id; }
    int type() const { return m_type; }
    void setType(int type) { m_type = type; }
    int operation() const { return m_operation; }
    void setOperation(int operation) { m_operation = operation; }
    qint64 uid() const { return m_uid; }
    void setUid(qint64 uid) { m_uid = uid; }
    QString remoteId() const { return m_remoteId; }
    void setRemoteId(const QString &id) { m_remoteId = id; }
    QByteArray resource() const { return m_resource; }
    void setResource(const QByteArray &resource) { m_resource = resource; }
    qint64 parentCollection() const { return m_parentCollection; }
    void setParentCollection(qint64 id) { m_parentCollection = id; }
    qint64 parentDestCollection() const { return m_parentDestCollection; }
    void setParentDestCollection(qint64 id) { m_parentDestCollection = id; }
    QString mimeType() const { return m_mimeType; }
    void setMimeType(const QString &mimeType) { m_mimeType = mimeType; }
    QSet<QByteArray> itemParts() const { return m_itemParts; }
    void setItemParts(const QSet<QByteArray> &parts) { m_itemParts = parts; }

    // Equal in everything but the changed item parts.
    bool isSameChange(const NotificationMessage &other) const;
    bool operator==(const NotificationMessage &other) const;

    // Appends msg, or merges it into a pending message about the same change: a second
    // modification of the same object adds its changed parts to the first instead of being sent
    // twice. Everything else is kept in order, as it happened.
    static void appendAndCompress(List &list, const NotificationMessage &msg);

    // Makes NotificationMessage and its list usable in bus calls and signals
    // (list signature "a(ayiixsayxxsas)").
    static void registerDBusTypes();

    QString toString() const;

private:
    QByteArray m_sessionId;
    int m_type = InvalidType;
    int m_operation = InvalidOp;
    qint64 m_uid = -1;
    QString m_remoteId;
    QByteArray m_resource;
    qint64 m_parentCollection = -1;
    qint64 m_parentDestCollection = -1;
    QString m_mimeType;
    QSet<QByteArray> m_itemParts;
};

QDBusArgument &operator<<(QDBusArgument &arg, const NotificationMessage &msg);
const QDBusArgument &operator>>(const QDBusArgument &arg, NotificationMessage &msg);

Q_DECLARE_METATYPE(NotificationMessage)
Q_DECLARE_METATYPE(NotificationMessage::List)

// The name the bus interface descriptions use for the record type.
namespace Talvori {
using NotificationMessage = ::NotificationMessage;
}

#endif

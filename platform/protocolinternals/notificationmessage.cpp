#include "notificationmessage.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QStringList>

#include <algorithm>

bool NotificationMessage::isSameChange(const NotificationMessage &other) const
{
    return m_sessionId == other.m_sessionId && m_type == other.m_type && m_operation == other.m_operation
        && m_uid == other.m_uid && m_remoteId == other.m_remoteId && m_resource == other.m_resource
        && m_parentCollection == other.m_parentCollection && m_parentDestCollection == other.m_parentDestCollection
        && m_mimeType == other.m_mimeType;
}

bool NotificationMessage::operator==(const NotificationMessage &other) const
{
    return isSameChange(other) && m_itemParts == other.m_itemParts;
}

void NotificationMessage::appendAndCompress(List &list, const NotificationMessage &msg)
{
    // Only modifications merge: two adds, moves or removals of the same id are distinct events
    // a listener must see (an item can be removed and added back within one batch).
    if (msg.operation() == Modify) {
        for (NotificationMessage &pending : list) {
            if (pending.isSameChange(msg)) {
                pending.m_itemParts.unite(msg.m_itemParts);
                return;
            }
        }
    }
    list.append(msg);
}

QDBusArgument &operator<<(QDBusArgument &arg, const NotificationMessage &msg)
{
    QList<QByteArray> parts = msg.itemParts().values();
    std::sort(parts.begin(), parts.end());
    QStringList partNames;
    for (const QByteArray &part : parts)
        partNames.append(QString::fromLatin1(part));

    arg.beginStructure();
    arg << msg.sessionId() << msg.type() << msg.operation() << msg.uid() << msg.remoteId() << msg.resource()
        << msg.parentCollection() << msg.parentDestCollection() << msg.mimeType() << partNames;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, NotificationMessage &msg)
{
    QByteArray sessionId;
    QByteArray resource;
    int type = 0;
    int operation = 0;
    qint64 uid = 0;
    qint64 parent = 0;
    qint64 parentDest = 0;
    QString remoteId;
    QString mimeType;
    QStringList partNames;

    arg.beginStructure();
    arg >> sessionId >> type >> operation >> uid >> remoteId >> resource >> parent >> parentDest >> mimeType >> partNames;
    arg.endStructure();

    QSet<QByteArray> parts;
    for (const QString &name : std::as_const(partNames))
        parts.insert(name.toLatin1());

    msg = NotificationMessage();
    msg.setSessionId(sessionId);
    msg.setType(type);
    msg.setOperation(operation);
    msg.setUid(uid);
    msg.setRemoteId(remoteId);
    msg.setResource(resource);
    msg.setParentCollection(parent);
    msg.setParentDestCollection(parentDest);
    msg.setMimeType(mimeType);
    msg.setItemParts(parts);
    return arg;
}

void NotificationMessage::registerDBusTypes()
{
    qDBusRegisterMetaType<NotificationMessage>();
    qDBusRegisterMetaType<NotificationMessage::List>();
    // The interface descriptions name the list type with its namespace.
    qRegisterMetaType<NotificationMessage::List>("Talvori::NotificationMessage::List");
}

static const char *typeName(int type)
{
    switch (type) {
    case NotificationMessage::Collection:
        return "Collection";
    case NotificationMessage::Item:
        return "Item";
    default:
        return "InvalidType";
    }
}

static const char *operationName(int operation)
{
    static const char *const names[] = {"InvalidOp", "Add", "Modify", "Move", "Remove",
                                        "Link", "Unlink", "Subscribe", "Unsubscribe"};
    return operation >= 0 && operation <= NotificationMessage::Unsubscribe ? names[operation] : "InvalidOp";
}

QString NotificationMessage::toString() const
{
    QList<QByteArray> parts = m_itemParts.values();
    std::sort(parts.begin(), parts.end());
    return QStringLiteral("%1: %2 %3 uid %4 rid '%5' resource %6 parent %7 dest %8 mimetype '%9' parts (%10)")
        .arg(QString::fromLatin1(m_sessionId), QLatin1String(typeName(m_type)), QLatin1String(operationName(m_operation)))
        .arg(m_uid)
        .arg(m_remoteId, QString::fromLatin1(m_resource))
        .arg(m_parentCollection)
        .arg(m_parentDestCollection)
        .arg(m_mimeType, QString::fromLatin1(parts.join(", ")));
}

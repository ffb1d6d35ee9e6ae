#ifndef TALVORI_PENDINGNOTIFICATIONS_H
#define TALVORI_PENDINGNOTIFICATIONS_H

#include "notificationmessage.h"

#include <QMultiHash>

// Notifications waiting to be sent, merged as NotificationMessage::appendAndCompress() merges
// them. The modifications are indexed by what they are about, so that a change touching thousands
// of items costs one lookup per notification instead of a walk over all that are waiting.
class PendingNotifications
{
public:
    void append(const NotificationMessage &msg);
    bool isEmpty() const { return m_list.isEmpty(); }
    const NotificationMessage::List &list() const { return m_list; }
    void clear();
    // The waiting notifications, leaving none behind.
    NotificationMessage::List take();

private:
    NotificationMessage::List m_list;
    QMultiHash<size_t, qsizetype> m_modifications; // hash of the change -> position in m_list
};

#endif
